// Saves pictures of the real windows, for the documentation: the main window with data, the runner
// after a test-login batch, the host editor with a balloon, the on-screen keyboard, the OS profile
// editor, the three pages of the options dialog and the login dialog refusing a password.
//
//   veltrane-screenshots INSTALL_DIR OUTPUT_DIR
//
// INSTALL_DIR holds veltrane.db (and Options.ini); the main window opens on it as the program would
// from there. Runs on a real display (Xvfb), since balloons are windows of their own.

#include "batch/TfrmOperation.h"
#include "core/TdmPublic.h"
#include "ui/GuiUiServices.h"
#include "ui/THostNode.h"
#include "ui/THostTreeView.h"
#include "ui/TUserListModel.h"
#include "ui/TUserListView.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmHostEdit.h"
#include "ui/TfrmKeyBoard.h"
#include "ui/TfrmLogin.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmOptions.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

namespace {

QString g_output;
bool g_failed = false;

// The screen within the window's outline (plus margin for what sticks out, like a balloon).
void Save(QWidget& window, const QString& name, int margin = 0)
{
    QTest::qWait(400);
    const QRect area = window.frameGeometry().adjusted(-margin, -margin, margin, margin);
    const QPixmap picture = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QDir(g_output).filePath(name);
    if (!picture.save(path)) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
        g_failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void RunnerAfterBatch(QDialog& dialog)
{
    auto& runner = dynamic_cast<TfrmOperation&>(dialog);
    if (!QTest::qWaitFor([&] { return runner.btnClose->isEnabled(); }, 120000))
        g_failed = true;
    Save(runner, QStringLiteral("runner-after-batch.png"));
    runner.btnClose->click();
}

void HostEditorWithBalloonAndKeyboard(QDialog& dialog)
{
    auto& editor = dynamic_cast<TfrmHostEdit&>(dialog);
    editor.edtName->clear();
    editor.btnSave->click(); // refused: the balloon points at the empty address
    Save(editor, QStringLiteral("host-editor-balloon.png"), 60);
    TfrmBase::SetModalHook([](QDialog& keyboard) {
        Save(keyboard, QStringLiteral("keyboard.png"));
        keyboard.reject();
        return keyboard.result();
    });
    editor.cbbLoginAs->setCurrentIndex(editor.cbbLoginAs->findData(TfrmHostEdit::ManagerAccountValue));
    editor.edtMngPwd->setFocus();
    editor.sbKeybrd->click();

    TfrmBase::SetModalHook([](QDialog& profile) {
        Save(profile, QStringLiteral("os-profile-editor.png"));
        profile.reject();
        return profile.result();
    });
    editor.cbbOS->setCurrentIndex(editor.cbbOS->findText(QStringLiteral("Linux")));
    editor.cbbOSChange(); // as after a pick by hand
    editor.sbSetting->click();
    editor.reject();
}

void OptionsPages(QDialog& dialog)
{
    auto& options = dynamic_cast<TfrmOptions&>(dialog);
    const QStringList names = {QStringLiteral("options-protection.png"), QStringLiteral("options-password-rules.png"),
                               QStringLiteral("options-confirmation.png")};
    for (int page = 0; page < names.size(); ++page) {
        options.tvOption->setCurrentItem(options.tvOption->topLevelItem(page));
        Save(options, names[page]);
    }
    options.reject();
}

void LoginRefusingAPassword(TdmPublic& dm)
{
    TfrmLogin login(dm);
    login.show();
    if (!QTest::qWaitForWindowExposed(&login)) {
        g_failed = true;
        return;
    }
    login.edtPassword->setText(QStringLiteral("not-it"));
    login.btnSave->click();
    Save(login, QStringLiteral("login-balloon.png"), 60);
    login.reject();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: veltrane-screenshots INSTALL_DIR OUTPUT_DIR\n");
        return 2;
    }
    g_output = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_output);
    GuiUiServices services;
    InstallUiServices(&services);
    {
        auto window =
            std::make_unique<TfrmMain>(QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("veltrane")));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return 1;

        // A test-login batch over the first host's users, so that they carry a history.
        window->tvHosts->setCurrentItem(window->HomeNode->child(0));
        TfrmBase::SetModalHook([](QDialog& dialog) {
            RunnerAfterBatch(dialog);
            return dialog.result();
        });
        GuiUiServices::setNextAnswer(ButtonYes);
        window->actSelectAll->trigger();
        window->actTest->trigger();

        // Two users checked, a third selected with its history in the memo.
        TUserListModel& rows = window->lvUsers->Model();
        for (int row : {0, 2})
            rows.SetChecked(row, true);
        window->lvUsers->SelectRow(1);
        Save(*window, QStringLiteral("main-window.png"));

        TfrmBase::SetModalHook([](QDialog& dialog) {
            HostEditorWithBalloonAndKeyboard(dialog);
            return dialog.result();
        });
        window->actHostAdd->trigger();

        TfrmBase::SetModalHook([](QDialog& dialog) {
            OptionsPages(dialog);
            return dialog.result();
        });
        window->actOption->trigger();
        TfrmBase::SetModalHook({});
        LoginRefusingAPassword(window->dm());
    }
    InstallUiServices(nullptr);
    return g_failed ? 1 : 0;
}
