// The GUI's UI services: message-box styles, the answer hook, status pane, viewer and balloons.
#include "ui/BallHint.h"
#include "ui/GuiUiServices.h"
#include "ui/TfrmBase.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestUiServices : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void styleLooks_data();
    void styleLooks();
    void queuedAnswersAreUsedInOrder();
    void boxIsOwnedByTheActiveWindow();
    void keyboardAnswers_data();
    void keyboardAnswers();
    void statusPane();
    void runLogGoesToTheViewer();
    void balloonIcons_data();
    void balloonIcons();
    void balloonWithoutAWidgetStillShows();

private:
    GuiUiServices m_services;
};

void TestUiServices::init()
{
    InstallUiServices(&m_services);
    GuiUiServices::clearNextAnswers();
    GuiUiServices::clearShown();
}

void TestUiServices::cleanup()
{
    InstallUiServices(nullptr);
    TfrmBase::SetModalHook({});
    CloseAllBalloons();
}

void TestUiServices::styleLooks_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("defaultButton");
    QTest::newRow("292 confirm: Yes/No, question, No default")
        << 292 << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Question) << int(QMessageBox::No);
    QTest::newRow("64 information: OK") << 64 << int(QMessageBox::Ok) << int(QMessageBox::Information)
                                        << int(QMessageBox::Ok);
    QTest::newRow("16 error: OK") << 16 << int(QMessageBox::Ok) << int(QMessageBox::Critical) << int(QMessageBox::Ok);
    QTest::newRow("Yes/No without default flag: Yes")
        << 4 << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::NoIcon) << int(QMessageBox::Yes);
    QTest::newRow("Yes/No/Cancel, warning, second default")
        << 0x133 << int(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) << int(QMessageBox::Warning)
        << int(QMessageBox::No);
    QTest::newRow("default flag past the last button: first")
        << 0x201 << int(QMessageBox::Ok | QMessageBox::Cancel) << int(QMessageBox::NoIcon) << int(QMessageBox::Ok);
}

void TestUiServices::styleLooks()
{
    QFETCH(int, style);
    QFETCH(int, buttons);
    QFETCH(int, icon);
    QFETCH(int, defaultButton);
    GuiUiServices::setNextAnswer(ButtonOk);
    MsgBox(QStringLiteral("text"), QStringLiteral("Caption"), style);
    QCOMPARE(GuiUiServices::shownMessageBoxes().size(), 1);
    const ShownMessageBox shown = GuiUiServices::shownMessageBoxes().first();
    // Read back from the box that was built, not from the style table.
    QCOMPARE(int(shown.look.buttons), buttons);
    QCOMPARE(int(shown.look.icon), icon);
    QCOMPARE(int(shown.look.defaultButton), defaultButton);
    QCOMPARE(shown.caption, QStringLiteral("Caption"));
    QCOMPARE(shown.style, style);
}

void TestUiServices::queuedAnswersAreUsedInOrder()
{
    GuiUiServices::setNextAnswer(ButtonYes);
    GuiUiServices::setNextAnswer(ButtonNo);
    QVERIFY(MsgBoxYes(QStringLiteral("Are you sure to change password? "), QStringLiteral("Confirm"), StyleConfirm));
    QVERIFY(!MsgBoxYes(QStringLiteral("Are you sure to test login? "), QStringLiteral("Confirm"), StyleConfirm));
    QCOMPARE(GuiUiServices::shownMessageBoxes().size(), 2);
    QCOMPARE(GuiUiServices::shownMessageBoxes().at(0).text, QStringLiteral("Are you sure to change password? "));
    QCOMPARE(GuiUiServices::shownMessageBoxes().at(1).answer, int(ButtonNo));
}

void TestUiServices::boxIsOwnedByTheActiveWindow()
{
    QWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    GuiUiServices::setNextAnswer(ButtonOk);
    MsgBox(QStringLiteral("Users exists, can not delete!"), QStringLiteral("Information"), StyleInformation);
    QCOMPARE(GuiUiServices::shownMessageBoxes().first().owner, &window);
}

void TestUiServices::keyboardAnswers_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    QTest::newRow("confirm: Enter takes the default, No") << 292 << int(Qt::Key_Return) << int(ButtonNo);
    QTest::newRow("confirm: Escape is No") << 292 << int(Qt::Key_Escape) << int(ButtonNo);
    QTest::newRow("information: Enter is OK") << 64 << int(Qt::Key_Return) << int(ButtonOk);
    QTest::newRow("error: Escape is OK") << 16 << int(Qt::Key_Escape) << int(ButtonOk);
}

void TestUiServices::keyboardAnswers()
{
    QFETCH(int, style);
    QFETCH(int, key);
    QFETCH(int, answer);
    QString shownText;
    TfrmBase::SetModalHook([&](QDialog& dialog) {
        auto& box = dynamic_cast<QMessageBox&>(dialog);
        shownText = box.text();
        QTest::keyClick(&box, Qt::Key(key));
    });
    QCOMPARE(MsgBox(QStringLiteral("<b>not markup</b>"), QStringLiteral("Confirm"), style), answer);
    QCOMPARE(shownText, QStringLiteral("<b>not markup</b>"));
    QCOMPARE(GuiUiServices::shownMessageBoxes().last().answer, answer);
}

void TestUiServices::statusPane()
{
    Ui().setStatusText(QStringLiteral("nobody listens")); // no pane yet: nothing happens
    auto label = std::make_unique<QLabel>();
    m_services.SetStatusPane(label.get());
    Ui().setStatusText(QStringLiteral("Connecting 10.0.0.5 ..."));
    QCOMPARE(label->text(), QStringLiteral("Connecting 10.0.0.5 ..."));
    label.reset();
    Ui().setStatusText(QStringLiteral("after the pane is gone"));

    QString seen;
    m_services.SetStatusPane([&](const QString& text) { seen = text; });
    Ui().setStatusText(QStringLiteral("Ready"));
    QCOMPARE(seen, QStringLiteral("Ready"));
}

void TestUiServices::runLogGoesToTheViewer()
{
    QString caption;
    TfrmBase::SetModalHook([&](QDialog& dialog) { caption = dialog.windowTitle(); });
    Ui().showRunLog(QStringLiteral("x"), QStringLiteral("Lastest Return Message"));
    QCOMPARE(caption, QStringLiteral("Lastest Return Message"));
}

void TestUiServices::balloonIcons_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("resource");
    QTest::newRow("info") << int(BalloonIcon::Info) << "INFO";
    QTest::newRow("warning") << int(BalloonIcon::Warning) << "WARNING";
    QTest::newRow("error") << int(BalloonIcon::Error) << "ERROR";
    QTest::newRow("none") << int(BalloonIcon::None) << "";
}

void TestUiServices::balloonIcons()
{
    QFETCH(int, icon);
    QFETCH(QString, resource);
    QWidget window;
    window.setGeometry(300, 300, 300, 100);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(150, 40, 100, 20);
    window.show();
    Ui().showBalloonTip(edit, QStringLiteral("Please input [User Name]  "), BalloonIcon(icon), 1000);
    const QList<TBallHint*> balloons = window.findChildren<TBallHint*>();
    QCOMPARE(balloons.size(), 1);
    const Balloon::Content content = Balloon::ContentFromDescription(balloons.first()->description());
    QCOMPARE(content.iconName, resource);
    QCOMPARE(content.title, QStringLiteral("Please input [User Name]  "));
    QCOMPARE(balloons.first()->Position(), int(Balloon::AboveLeft));
    QCOMPARE(BallTip().Duration, 1000);
}

void TestUiServices::balloonWithoutAWidgetStillShows()
{
    QObject notAWidget;
    Ui().showBalloonTip(&notAWidget, QStringLiteral("message"), BalloonIcon::Error, 0);
    QCOMPARE(CloseAllBalloons(), 1);
}

QTEST_MAIN(TestUiServices)
#include "tst_uiservices.moc"
