#include "ui/MainWindowWidgets.h"

#include "core/VisibleText.h"

#include "ui/CommandVisibility.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>

QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(11);
    return font;
}

QFont MenuFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPointSize(8);
    return font;
}

QLabel* HeaderPanel(const QString& name, const QString& text, QWidget* parent)
{
    auto* panel = new QLabel(text, parent);
    panel->setObjectName(name);
    panel->setFixedHeight(28);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(14);
    font.setBold(true);
    panel->setFont(font);
    panel->setStyleSheet(QStringLiteral("QLabel#%1 { background: #E3F4F4; color: #3475A5; border: none;"
                                        " border-bottom: 1px solid qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                                        " stop:0 #8DBBDA, stop:1 #E3F4F4); }")
                             .arg(name));
    return panel;
}

QString MemoText(QString text)
{
    text = VisibleControlCharacters(text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QAction* AddMenuEntry(QMenu* menu, QAction* command, const QString& caption)
{
    auto* entry = new QAction(caption, menu);
    entry->setShortcut(command->shortcut());
    entry->setShortcutContext(Qt::WidgetShortcut);
    entry->setStatusTip(command->statusTip());
    const auto follow = [entry, command] {
        entry->setEnabled(command->isEnabled());
        entry->setVisible(CommandVisible(command));
    };
    follow();
    QObject::connect(command, &QAction::changed, entry, follow);
    QObject::connect(entry, &QAction::triggered, command, [command] {
        if (command->isEnabled())
            command->trigger();
    });
    menu->addAction(entry);
    return entry;
}

QWidget* ToolbarSpacer(int width, bool grooved, QWidget* parent)
{
    auto* spacer = new QFrame(parent);
    spacer->setFixedSize(width, 40);
    if (grooved) {
        spacer->setFrameShape(QFrame::VLine);
        spacer->setFrameShadow(QFrame::Sunken);
    }
    return spacer;
}
