#include "SkinMock.h"

#include "platform/DesignFonts.h"
#include "skins/sSkinSectionProperty.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const char* const Captions[] = {"京东商城", "新蛋", "淘宝", "丽家宝贝", "红孩子", "当当网", "卓越网", "国美电器", "中国工商银行商城"};
constexpr std::array<int, 7> PanelWidths{200, 0, 200, 0, 0, 150, 130};
const char* const PanelTexts[] = {"网站： http://www.shopscope.cn", "", "支持QQ：12345678;87654321", "", "",
                                  "今天是：2011年06月08日", "进入时间：12:34:56"};

} // namespace

TSkinMockMainForm::TSkinMockMainForm(QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Shopscope V1.1.610"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    resize(680, 446);

    sPanel1 = new QWidget(this);
    sPanel1->setFixedHeight(41);
    sPanel1->setFont(DesignFont(QStringLiteral("宋体"), 12));
    sLabel1 = new QLabel(QStringLiteral("商品:"), sPanel1);
    sLabel1->setGeometry(8, 14, 33, 13);
    sLabel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    etCargao = new QLineEdit(sPanel1);
    etCargao->setGeometry(42, 11, 234, 20);
    etCargao->setText(QStringLiteral("诺基亚 N8"));
    // As the main window has them.
    etCargao->setStyleSheet(QStringLiteral("QLineEdit { background: white; color: black; }"));
    bbtnFind = new QPushButton(QStringLiteral("搜索"), sPanel1);
    bbtnFind->setGeometry(281, 8, 42, 25);
    bbtnUpdate = new QPushButton(QStringLiteral("软件升级"), sPanel1);
    bbtnUpdate->setGeometry(591, 8, 75, 25);
    sLabel2 = new QLabel(QStringLiteral("（选产品型号等关键词，点右键继续搜索）"), sPanel1);
    sLabel2->setGeometry(328, 15, 249, 13);
    sLabel2->setStyleSheet(QStringLiteral("color: black"));

    pcMain = new QTabWidget(this);
    for (const char* caption : Captions) {
        auto* page = new QWidget;
        page->setAutoFillBackground(true);
        QPalette pal = page->palette();
        pal.setColor(QPalette::Window, Qt::white);  // where a store page would be
        page->setPalette(pal);
        pcMain->addTab(page, QString::fromUtf8(caption));
    }

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setFixedHeight(20);
    auto* strip = new QWidget(StatusBar1);
    StatusBar1->addWidget(strip, 1);
    auto* panels = new QHBoxLayout(strip);
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(QString::fromUtf8(PanelTexts[i]), strip);
        panel->setFixedWidth(PanelWidths[i]);
        panel->setVisible(PanelWidths[i] > 0);
        panels->addWidget(panel);
        StatusPanels[i] = panel;
    }
    panels->addStretch(1);
    StatusPanels[0]->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sPanel1);
    layout->addWidget(pcMain, 1);
    layout->addWidget(StatusBar1);

    SetSkinSection(sPanel1, QStringLiteral("PANEL"));
    SetSkinSection(etCargao, QStringLiteral("EDIT"));
    SetSkinSection(bbtnFind, QStringLiteral("BUTTON"));
    SetSkinSection(bbtnUpdate, QStringLiteral("BUTTON"));
    SetSkinSection(pcMain, QStringLiteral("PAGECONTROL"));
    SetSkinSection(StatusBar1, QStringLiteral("STATUSBAR"));
    SetSkinSection(sLabel1, QStringLiteral("LABEL"));
    SetSkinSection(sLabel2, QStringLiteral("LABEL"));
}

TSkinMockDialog::TSkinMockDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("升级向导"));
    setFont(DesignFont(QStringLiteral("Tahoma"), 12));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("正在下载新版本文件"));
    title->setFont(DesignFont(QStringLiteral("宋体"), 16, true));
    layout->addWidget(title);
    auto* group = new QGroupBox(QStringLiteral("下载进度"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("文件:")), 0, 0);
    auto* file = new QLineEdit(QStringLiteral("http://www.shopscope.cn/Shopscope.exe"));
    file->setReadOnly(true);
    grid->addWidget(file, 0, 1);
    Progress = new QProgressBar;
    Progress->setValue(62);
    grid->addWidget(new QLabel(QStringLiteral("总进度:")), 1, 0);
    grid->addWidget(Progress, 1, 1);
    auto* check = new QCheckBox(QStringLiteral("完成后重新启动程序"));
    check->setChecked(true);
    grid->addWidget(check, 2, 1);
    auto* radio1 = new QRadioButton(QStringLiteral("立即升级"));
    radio1->setChecked(true);
    grid->addWidget(radio1, 3, 1);
    grid->addWidget(new QRadioButton(QStringLiteral("以后再说")), 4, 1);
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("< 上一步"), QDialogButtonBox::ActionRole)->setEnabled(false);
    Next = buttons->addButton(QStringLiteral("下一步 >"), QDialogButtonBox::AcceptRole);
    Next->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    resize(460, 300);
}

QMenu* NewSkinMockMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->addAction(QStringLiteral("搜索"));
    menu->addSeparator();
    QAction* copy = menu->addAction(QStringLiteral("复制(&C)"));
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    QAction* check = menu->addAction(QStringLiteral("自动升级"));
    check->setCheckable(true);
    check->setChecked(true);
    menu->addAction(QStringLiteral("不可用的命令"))->setEnabled(false);
    return menu;
}
