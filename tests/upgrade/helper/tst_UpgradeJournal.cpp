// The upgrade journal's text: what the helper writes, the program reads back
// whole; anything cut short or pointing outside the folder is refused.

#include "upgrade/helper/UpgradeJournal.h"

#include <QTest>

using namespace journal;

namespace {

TJournal Sample()
{
    TJournal j;
    j.Phase = TPhase::jpRestarted;
    j.Helper = 4242;
    j.Program = "shop scope";
    j.RestartText = "/after\tupgrade";
    j.Moves = {{"shop scope.uTMP", "shop scope", "shop scope.uBAK", TMoveState::msPlaced},
               {"a\\b\nc.uTMP", "a\\b\nc", "", TMoveState::msKept},
               {"说明.txt.uTMP", "说明.txt", "说明.txt.uBAK", TMoveState::msPlanned}};
    return j;
}

} // namespace

namespace journal {
bool operator==(const TMove& a, const TMove& b)
{
    return a.Source == b.Source && a.Target == b.Target && a.Backup == b.Backup && a.State == b.State;
}
} // namespace journal

class tst_UpgradeJournal : public QObject {
    Q_OBJECT

private slots:
    void roundTrip();
    void refused_data();
    void refused();
    void paths();
};

void tst_UpgradeJournal::roundTrip()
{
    for (TPhase phase : {TPhase::jpPlanned, TPhase::jpMoved, TPhase::jpRestarted, TPhase::jpConfirmed,
                         TPhase::jpRollingBack, TPhase::jpRolledBack}) {
        TJournal written = Sample();
        written.Phase = phase;
        const std::string text = FormatJournal(written);
        // One line per entry: escaped line breaks cannot split a move.
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 9);
        TJournal read;
        QVERIFY2(ParseJournal(text, read), text.c_str());
        QVERIFY(read.Phase == phase);
        QCOMPARE(read.Helper, 4242);
        QCOMPARE(read.Program, written.Program);
        QCOMPARE(read.RestartText, written.RestartText);
        QVERIFY(read.Moves == written.Moves);
    }
    TJournal none;
    none.Program = "app";
    TJournal read;
    QVERIFY(ParseJournal(FormatJournal(none), read));
    QVERIFY(read.Moves.empty() && read.RestartText.empty());
}

void tst_UpgradeJournal::refused_data()
{
    QTest::addColumn<QByteArray>("text");
    const std::string good = FormatJournal(Sample());
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return QByteArray::fromStdString(text);
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut before end") << QByteArray::fromStdString(good.substr(0, good.rfind("end")));
    QTest::newRow("cut inside the last line") << QByteArray::fromStdString(good.substr(0, good.size() - 1));
    QTest::newRow("another format") << replaced("journal 1", "journal 2");
    QTest::newRow("unknown phase") << replaced("phase\trestarted", "phase\tdone");
    QTest::newRow("unknown state") << replaced("move\tkept", "move\tgone");
    QTest::newRow("target outside the folder") << replaced("\tshop scope\t", "\t../shop scope\t");
    QTest::newRow("backup in another folder") << replaced("说明.txt.uBAK", "/etc/passwd");
    QTest::newRow("program is the folder") << replaced("program\tshop scope", "program\t..");
    QTest::newRow("bad escape") << replaced("a\\\\b", "a\\qb");
    QTest::newRow("helper not a number") << replaced("helper\t4242", "helper\t42x");
    QTest::newRow("key twice") << replaced("helper\t4242\n", "helper\t4242\nhelper\t1\n");
    QTest::newRow("key missing") << replaced("restart\t/after\\tupgrade\n", "");
    QTest::newRow("move with a field too few") << replaced("\tshop scope.uBAK\n", "\n");
}

void tst_UpgradeJournal::refused()
{
    QFETCH(QByteArray, text);
    TJournal read;
    QVERIFY(!ParseJournal(text.toStdString(), read));
}

void tst_UpgradeJournal::paths()
{
    QCOMPARE(JournalPath("/opt/shop scope/shopscope"), std::string("/opt/shop scope/.shopscope.upgrade-journal"));
    QCOMPARE(FolderOf("/opt/shop scope/shopscope"), std::string("/opt/shop scope/"));
}

QTEST_GUILESS_MAIN(tst_UpgradeJournal)
#include "tst_UpgradeJournal.moc"
