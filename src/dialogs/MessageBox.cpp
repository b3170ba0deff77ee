#include "dialogs/MessageBox.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSpacerItem>
#include <QStyle>

#include "dialogs/QuitRequest.h"

namespace tessal {
namespace qt {

void MessageBox::showEvent(QShowEvent* event)
{
    // The box's own reserve for its title counts the text in the plain font
    // and 50 pixels; a window manager draws it bold, with buttons on either
    // side of a centred title, and cuts the rest. A row of that width in the
    // grid makes the box's own sizing keep it. The grid is rebuilt when the
    // box changes, so the row is looked for each time.
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (grid != nullptr) {
        bool present = false;
        for (int i = 0; i < grid->count() && !present; ++i)
            present = grid->itemAt(i) == m_titleRoom;
        if (!present) {
            m_titleRoom = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
            grid->addItem(m_titleRoom, grid->rowCount(), 0, 1, grid->columnCount());
        }
        QFont titleFont = font();
        titleFont.setBold(true);
        const int buttons = 3 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
        int room = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 2 * buttons;
        if (const QScreen* shown = screen())
            room = qMin(room, shown->availableGeometry().width() * 3 / 4);
        m_titleRoom->changeSize(room, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
        grid->invalidate();
    }
    QMessageBox::showEvent(event);
}

int execQuestion(QDialog& dialog, int refusal)
{
    if (quitRequested())
        return refusal;
    // exec() gives the dialog's result, which is 0 both for a first answer
    // and for a loop ended from outside: only done() (a button, Escape, the
    // window's close) tells that the user answered.
    bool answered = false;
    QPointer<QDialog> alive(&dialog);
    const QMetaObject::Connection finished =
        QObject::connect(&dialog, &QDialog::finished, &dialog, [&answered]() { answered = true; });
    const QMetaObject::Connection quit =
        QObject::connect(&QuitRequest::instance(), &QuitRequest::requested, &dialog, [&dialog, &answered]() {
            // Hiding leaves the dialog's loop without an answer.
            if (!answered)
                dialog.hide();
        });
    const int result = dialog.exec();
    if (!alive)
        return refusal;
    QObject::disconnect(finished);
    QObject::disconnect(quit);
    if (!answered) {
        dialog.hide();
        return refusal;
    }
    return result;
}

int ShowMessageBox(QMessageBox::Icon icon, const QString& text)
{
    MessageBox box;
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    if (icon == QMessageBox::Question)
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    else
        box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setIcon(icon);
    return execQuestion(box, icon == QMessageBox::Question ? QMessageBox::Cancel : QMessageBox::NoButton);
}

int ShowInformationBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Information, text);
}

int ShowWarningBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Warning, text);
}

int ShowCriticalBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Critical, text);
}

int ShowQuestionBox(const QString& text)
{
    return ShowMessageBox(QMessageBox::Question, text);
}

} // namespace qt
} // namespace tessal
