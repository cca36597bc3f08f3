// The info file reader: entries found as the publisher writes them, the
// numbered file list, the method, any input at all, and the shown message.

#include "upgrade/auInfoFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

namespace {

std::string Bytes(const QByteArray& data)
{
    return data.toStdString();
}

QByteArray Value(const std::string& value)
{
    return QByteArray::fromStdString(value);
}

QByteArray Fixture(const char* name)
{
    QFile file(QStringLiteral(SHOPSCOPE_TEST_DATA "/upgrade/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture %s missing", name);
    return file.readAll();
}

QList<QByteArray> Values(const std::vector<std::string>& list)
{
    QList<QByteArray> result;
    for (const std::string& item : list)
        result.append(Value(item));
    return result;
}

} // namespace

class TestInfoFile : public QObject {
    Q_OBJECT
private slots:
    void infoValue_data();
    void infoValue();
    void fileList_data();
    void fileList();
    void method_data();
    void method();
    void publisherFile();
    void anyInput_data();
    void anyInput();
    void manyFiles();
    void decode_data();
    void decode();
    void gbkServer();
};

void TestInfoFile::infoValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("braced");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain line") << QByteArray("#version=3.1\r\n#date=07/15/2011\r\n") << QByteArray("version") << false
                                << QByteArray("3.1");
    QTest::newRow("second entry") << QByteArray("#version=3.1\r\n#date=07/15/2011\r\n") << QByteArray("date") << false
                                  << QByteArray("07/15/2011");
    QTest::newRow("upper-case key") << QByteArray("#VERSION=3.1\n") << QByteArray("version") << false << QByteArray("3.1");
    QTest::newRow("mixed-case key, value keeps case")
        << QByteArray("#VeRsIoN=3.1 Beta\n") << QByteArray("version") << false << QByteArray("3.1 Beta");
    QTest::newRow("leading space kept") << QByteArray("#version= 3.1\n") << QByteArray("version") << false
                                        << QByteArray(" 3.1");
    QTest::newRow("trailing space kept") << QByteArray("#version=3.1  \n") << QByteArray("version") << false
                                         << QByteArray("3.1  ");
    QTest::newRow("to end of file") << QByteArray("x\n#version=3.1") << QByteArray("version") << false
                                    << QByteArray("3.1");
    QTest::newRow("ends at tab") << QByteArray("#version=3.1\tnext") << QByteArray("version") << false
                                 << QByteArray("3.1");
    QTest::newRow("ends at NUL") << QByteArray("#version=3.1\0rest", 17) << QByteArray("version") << false
                                 << QByteArray("3.1");
    QTest::newRow("bytes above 127 belong to the value")
        << QByteArray("#url=http://h/\xc8\xed\xbc\xfe.exe\r\n") << QByteArray("url") << false
        << QByteArray("http://h/\xc8\xed\xbc\xfe.exe");
    QTest::newRow("DEL belongs to the value") << QByteArray("#version=3\x7f.1\n") << QByteArray("version") << false
                                              << QByteArray("3\x7f.1");
    QTest::newRow("first occurrence wins") << QByteArray("#version=1\n#version=2\n") << QByteArray("version") << false
                                           << QByteArray("1");
    QTest::newRow("not at a line start") << QByteArray("see #version=5 here\n") << QByteArray("version") << false
                                         << QByteArray("5 here");
    QTest::newRow("inside the message counts")
        << QByteArray("#message={see #version=9}\n#version=3\n") << QByteArray("version") << false << QByteArray("9}");
    QTest::newRow("missing") << QByteArray("#versions=3\n") << QByteArray("version") << false << QByteArray();
    QTest::newRow("empty value") << QByteArray("#version=\n#version=4") << QByteArray("version") << false
                                 << QByteArray();
    QTest::newRow("empty text") << QByteArray() << QByteArray("version") << false << QByteArray();
    QTest::newRow("braced over two lines")
        << QByteArray("#message={Two stores are searched faster.\r\nStart-up is quicker.}\r\n#url=x\r\n")
        << QByteArray("message") << true << QByteArray("Two stores are searched faster.\r\nStart-up is quicker.");
    QTest::newRow("braced upper-case key") << QByteArray("#MESSAGE={Hi}") << QByteArray("message") << true
                                           << QByteArray("Hi");
    QTest::newRow("braced empty") << QByteArray("#message={}") << QByteArray("message") << true << QByteArray();
    QTest::newRow("braced without closing brace")
        << QByteArray("#message={New:\r\n #url1=http://h/a\r\n") << QByteArray("message") << true
        << QByteArray("New:\r\n #url1=http://h/a\r\n");
    QTest::newRow("message without brace is not found")
        << QByteArray("#message=Hello\r\n") << QByteArray("message") << true << QByteArray();
    // 0x81 0x7D is one GBK character whose second byte is "}".
    QTest::newRow("brace as second byte of a GBK character")
        << QByteArray("#message={\xb0\xa1\x81\x7d\xb0\xa1}") << QByteArray("message") << true
        << QByteArray("\xb0\xa1\x81");
    QTest::newRow("braced value keeps control bytes")
        << QByteArray("#message={a\tb\0c}", 16) << QByteArray("message") << true << QByteArray("a\tb\0c", 5);
}

void TestInfoFile::infoValue()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(bool, braced);
    QFETCH(QByteArray, expected);
    const TauInfoFileText info(Bytes(text));
    QCOMPARE(Value(info.InfoValue(key.toStdString(), braced)), expected);
    QCOMPARE(Value(info.Bytes()), text);
}

void TestInfoFile::fileList_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::newRow("url1 to url3") << QByteArray("#url1=a\n#url2=b\n#url3=c\n") << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("url, then url2 and url3") << QByteArray("#url=a\n#url2=b\n#url3=c\n")
                                             << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("url0, then url2 and url3") << QByteArray("#url0=a\n#url2=b\n#url3=c\n")
                                              << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("url0, url1, url2: url1 is never asked for")
        << QByteArray("#url0=a\n#url1=b\n#url2=c\n") << QList<QByteArray>{"a", "c"};
    QTest::newRow("url and url0, then url3") << QByteArray("#url3=c\n#url0=b\n#url=a\n")
                                             << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("gap after url1") << QByteArray("#url1=a\n#url3=c\n") << QList<QByteArray>{"a"};
    QTest::newRow("empty url2 ends the list") << QByteArray("#url1=a\n#url2=\n#url3=c\n") << QList<QByteArray>{"a"};
    QTest::newRow("empty url is skipped") << QByteArray("#url=\n#url1=a\n") << QList<QByteArray>{"a"};
    QTest::newRow("upper-case keys") << QByteArray("#URL1=http://H/A\n#Url2=b\n")
                                     << QList<QByteArray>{"http://H/A", "b"};
    QTest::newRow("leading zero is another key") << QByteArray("#url01=a\n") << QList<QByteArray>{};
    QTest::newRow("first url1 wins") << QByteArray("#url1=a\n#url1=b\n") << QList<QByteArray>{"a"};
    QTest::newRow("url10 is not url1") << QByteArray("#url10=j\n#url1=a\n") << QList<QByteArray>{"a"};
    QTest::newRow("entries on one line") << QByteArray("#url1=a #url2=b") << QList<QByteArray>{"a #url2=b", "b"};
    QTest::newRow("no entries") << QByteArray("#version=3\n") << QList<QByteArray>{};
}

void TestInfoFile::fileList()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, expected);
    QCOMPARE(Values(TauInfoFileText(Bytes(text)).FileList()), expected);
}

void TestInfoFile::method_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("0") << QByteArray("#method=0\n") << 0;
    QTest::newRow("1") << QByteArray("#method=1\n") << 1;
    QTest::newRow("2") << QByteArray("#method=2") << 2;
    QTest::newRow("12: first character only") << QByteArray("#method=12\n") << 1;
    QTest::newRow("x") << QByteArray("#method=x\n") << 0;
    QTest::newRow("space before the digit") << QByteArray("#method= 2\n") << 0;
    QTest::newRow("empty") << QByteArray("#method=\n") << 0;
    QTest::newRow("missing") << QByteArray("#version=3\n") << 0;
    QTest::newRow("upper-case key") << QByteArray("#METHOD=2\n") << 2;
}

void TestInfoFile::method()
{
    QFETCH(QByteArray, text);
    QFETCH(int, expected);
    QCOMPARE(int(TauInfoFileText(Bytes(text)).Method()), expected);
}

void TestInfoFile::publisherFile()
{
    const TauInfoFileText info(Bytes(Fixture("publisher.inf")));
    QCOMPARE(Value(info.InfoValue("version")), QByteArray("3.1"));
    QCOMPARE(Value(info.InfoValue("date")), QByteArray("07/15/2011"));
    QCOMPARE(int(info.Method()), 0);
    QCOMPARE(Value(info.InfoValue("message", true)),
             QByteArray("Two stores are searched faster.\r\nStart-up is quicker."));
    QCOMPARE(Values(info.FileList()),
             (QList<QByteArray>{"http://127.0.0.1/shopscope/shopscope", "http://127.0.0.1/shopscope/readme.txt"}));
}

void TestInfoFile::anyInput_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("version");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("only a pattern") << QByteArray("#version=") << QByteArray();
    QTest::newRow("only #url") << QByteArray("#url") << QByteArray();
    QTest::newRow("only #url and digits") << QByteArray("#url12") << QByteArray();

    QByteArray binary(10 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20110608);
    for (char& c : binary)
        c = static_cast<char>(random.bounded(256));
    // Random bytes hold no "#version=" by chance (p ~ 1e-14); one put at the
    // end must be found past 10 MB of them.
    binary.replace("#", "");
    QTest::newRow("10 MB of binary") << binary << QByteArray();
    QTest::newRow("10 MB of binary, then an entry") << binary + "#VERSION=4" << QByteArray("4");
}

void TestInfoFile::anyInput()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, version);
    const TauInfoFileText info(Bytes(text));
    QCOMPARE(Value(info.InfoValue("version")), version);
    QVERIFY(info.InfoValue("message", true).empty());
    QVERIFY(info.FileList().empty());
    QCOMPARE(int(info.Method()), 0);
    QCOMPARE(info.Bytes().size(), std::size_t(text.size()));
}

void TestInfoFile::manyFiles()
{
    // A 10 MB file of numbered entries: every one of them is listed, in order.
    QByteArray text;
    int count = 0;
    while (text.size() < 10 * 1024 * 1024) {
        const QByteArray n = QByteArray::number(++count);
        text += "#url" + n + "=http://127.0.0.1/f" + n + "\r\n";
    }
    const std::vector<std::string> files = TauInfoFileText(Bytes(text)).FileList();
    QCOMPARE(int(files.size()), count);
    QCOMPARE(Value(files.front()), QByteArray("http://127.0.0.1/f1"));
    QCOMPARE(Value(files.back()), "http://127.0.0.1/f" + QByteArray::number(count));
}

void TestInfoFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ASCII") << QByteArray("first release") << QStringLiteral("first release");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("UTF-8") << QStringLiteral("软件升级：速度更快").toUtf8() << QStringLiteral("软件升级：速度更快");
    QTest::newRow("UTF-8 Cyrillic") << QStringLiteral("Обновление").toUtf8() << QStringLiteral("Обновление");
    QTest::newRow("GBK") << QByteArray("\xc8\xed\xbc\xfe\xc9\xfd\xbc\xb6") << QStringLiteral("软件升级");
    QTest::newRow("GBK with CR LF") << QByteArray("\xc8\xed\xbc\xfe\r\n\xc9\xfd\xbc\xb6")
                                    << QStringLiteral("软件\r\n升级");
    QTest::newRow("GB18030 four bytes") << QByteArray("\x81\x30\x81\x30") << QStringLiteral("\u0080");
    // The start of a three-byte UTF-8 sequence, cut: read as one GBK character.
    QTest::newRow("cut UTF-8 is not UTF-8") << QByteArray("ok\xe8\xbd") << QStringLiteral("ok\u675E");
}

void TestInfoFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(DecodeInfoText(std::string_view(bytes.constData(), std::size_t(bytes.size()))), expected);
}

void TestInfoFile::gbkServer()
{
    // A maker's server that still writes GBK: the entries read as bytes, the
    // message shows Chinese.
    const TauInfoFileText info(Bytes(Fixture("gbk-message.inf")));
    QCOMPARE(Value(info.InfoValue("version")), QByteArray("4"));
    QCOMPARE(DecodeInfoText(info.InfoValue("message", true)), QStringLiteral("软件升级：速度更快"));
    QCOMPARE(Values(info.FileList()), QList<QByteArray>{QByteArray("http://127.0.0.1/\xc8\xed\xbc\xfe.exe")});
}

QTEST_GUILESS_MAIN(TestInfoFile)
#include "tst_auInfoFile.moc"
