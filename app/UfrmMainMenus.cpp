// The main window's actions, its menu bar, the window menu and the tray's menu.
#include "app/UfrmMain.h"
#include "projects/UfrmOverview.h"
#ifdef ORLENWAY_RESTORE
#include "projects/UfrmRestore.h"
#endif

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

// The pictures of the seven actions, by index: 24 pixels on the buttons, 16 in the menus.
QIcon ActionPicture(int index) {
  static const char* const names[] = {"start",    "stop", "settings", "users",
                                      "projects", "exit", "about"};
  const QString base = QString(":/icons/") + names[index];
  QIcon icon;
  icon.addFile(base + "16.png", QSize(16, 16));
  icon.addFile(base + "24.png", QSize(24, 24));
  return icon;
}

// Pictures of the three top-level menu entries: floppy disk, magnifying glass, book.
QIcon MenuPicture(int index) {
  static const char* const names[] = {"file", "tools", "help"};
  return QIcon(QString(":/icons/") + names[index] + "16.png");
}

// The common styles draw a menu-bar entry's picture instead of its caption; the entries
// carry both.
class TMenuBarStyle : public QProxyStyle {
public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuBarItem || !item || item->icon.isNull()) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    QStyleOptionMenuItem bare(*item);
    bare.icon = QIcon();
    bare.text.clear();
    QProxyStyle::drawControl(element, &bare, painter, widget);
    const bool enabled = item->state & State_Enabled;
    const int extent = pixelMetric(PM_SmallIconSize, option, widget);
    const QRect r = item->rect;
    QPixmap pix = item->icon.pixmap(extent, extent, enabled ? QIcon::Normal : QIcon::Disabled);
    painter->drawPixmap(QRect(r.left() + 4, r.top() + (r.height() - extent) / 2, extent, extent),
                        pix);
    drawItemText(painter, r.adjusted(extent + 4, 0, 0, 0),
                 Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextDontClip | Qt::TextSingleLine,
                 item->palette, enabled, item->text, QPalette::ButtonText);
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuBarItem || !item || !widget)
      return QProxyStyle::sizeFromContents(type, option, size, widget);
    QSize contents = size;
    if (!item->icon.isNull()) {
      const int extent = pixelMetric(PM_SmallIconSize, option, widget);
      QSize text = widget->fontMetrics().size(Qt::TextShowMnemonic, item->text);
      contents = QSize(extent + 4 + text.width(), std::max(extent, text.height()));
    }
    QSize result = QProxyStyle::sizeFromContents(type, option, contents, widget);
    // The bar has a fixed, low height; entries taller than it would all go to the overflow.
    const int frame = pixelMetric(PM_MenuBarPanelWidth, nullptr, widget) +
                      pixelMetric(PM_MenuBarVMargin, nullptr, widget);
    result.setHeight(std::min(result.height(), widget->maximumHeight() - 2 * frame));
    return result;
  }
};

} // namespace

void TfrmMain::CreateActions() {
  auto makeAction = [this](const char* name, const char* category, const char* caption, int picture,
                           void (TfrmMain::*handler)()) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(name);
    a->setProperty("Category", category);
    a->setIcon(ActionPicture(picture));
    connect(a, &QAction::triggered, this, [this, handler]() { (this->*handler)(); });
    acMain.append(a);
    return a;
  };
  acStartServer =
      makeAction("acStartServer", "File", "서버 시작", 0, &TfrmMain::acStartServerExecute);
  acStopServer = makeAction("acStopServer", "File", "서버 중지", 1, &TfrmMain::acStopServerExecute);
  acExit = makeAction("acExit", "File", "종료", 5, &TfrmMain::acExitExecute);
  acBasicSetting =
      makeAction("acBasicSetting", "Tools", "기본 설정", 2, &TfrmMain::acBasicSettingExecute);
  acUserMgr = makeAction("acUserMgr", "Tools", "사용자 관리", 3, &TfrmMain::acUserMgrExecute);
  acProjectMgr =
      makeAction("acProjectMgr", "Tools", "프로젝트 관리", 4, &TfrmMain::acProjectMgrExecute);
  acAbout = makeAction("acAbout", "Help", "대하여...", 6, &TfrmMain::acAboutExecute);

  // The window menu, opened from the background; its shortcuts work anywhere in the window.
  acMinimizeToTray = new QAction("Minimize to &Tray", this);
  acMinimizeToTray->setObjectName("acMinimizeToTray");
  connect(acMinimizeToTray, &QAction::triggered, this, &TfrmMain::MinimizeToTray);
  acClose = new QAction("&Close", this);
  acClose->setObjectName("acClose");
  acClose->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(acClose, &QAction::triggered, this, &QWidget::close);
  addAction(acMinimizeToTray);
  addAction(acClose);
  pmWindow = new QMenu(this);
  pmWindow->setObjectName("pmWindow");
  pmWindow->addAction(acMinimizeToTray);
  pmWindow->addSeparator();
  pmWindow->addAction(acClose);
}

void TfrmMain::CreateMenus() {
  mmMain = new QMenuBar(this);
  mmMain->setObjectName("mmMain");
  auto* menuStyle = new TMenuBarStyle;
  menuStyle->setParent(this);
  mmMain->setStyle(menuStyle);
  mmMain->setFixedHeight(19);
  auto makeMenu = [this](const char* name, const char* caption, int picture) {
    QMenu* m = mmMain->addMenu(MenuPicture(picture), QString::fromUtf8(caption));
    m->setObjectName(name);
    return m;
  };
  tiFile = makeMenu("tiFile", "  파일  ", 0);
  tiFile->addAction(acStartServer);
  tiFile->addAction(acStopServer);
  tiFile->addSeparator()->setObjectName("tiSep01");
  tiFile->addAction(acExit);
  tiTools = makeMenu("tiTools", "  도구  ", 1);
  tiTools->addAction(acBasicSetting);
  tiTools->addAction(acUserMgr);
  tiTools->addAction(acProjectMgr);
  acMirrorMgr =
      tiTools->addAction(QString::fromUtf8("미러 관리"), this, &TfrmMain::acMirrorMgrExecute);
  acMirrorMgr->setObjectName("acMirrorMgr");
  acAccessMgr =
      tiTools->addAction(QString::fromUtf8("접근 권한"), this, &TfrmMain::acAccessMgrExecute);
  acAccessMgr->setObjectName("acAccessMgr");
#ifdef ORLENWAY_RESTORE
  tiTools->addAction(QString::fromUtf8("복원"), this, [] { ShowRestore(); })
      ->setObjectName("acRestore");
#endif
  acBackupSchedule =
      tiTools->addAction(QString::fromUtf8("백업 예약"), this, &TfrmMain::acBackupScheduleExecute);
  acBackupSchedule->setObjectName("acBackupSchedule");
  tiTools->addAction(QString::fromUtf8("저장소 현황"), this, [] { ShowOverview(); })
      ->setObjectName("acOverview");
  tiHelp = makeMenu("tiHelp", "  도움말  ", 2);
  tiHelp->addAction(acAbout);
  setMenuBar(mmMain);

  pmTray = new QMenu(this);
  pmTray->setObjectName("pmTray");
  pmTray->addAction(acStartServer);
  pmTray->addAction(acStopServer);
  pmTray->addSeparator()->setObjectName("tiSep02");
  pmTray->addAction(acBasicSetting);
  pmTray->addAction(acUserMgr);
  pmTray->addAction(acProjectMgr);
  pmTray->addSeparator()->setObjectName("tiSep03");
  pmTray->addAction(acAbout);
  pmTray->addSeparator()->setObjectName("tiSep04");
  pmTray->addAction(acExit);
}
