#include "ModalDialogAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>

namespace tessal {
namespace test {

namespace {
QString plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}
} // namespace

ModalDialogAnswerer::ModalDialogAnswerer(QStringList answers, QObject* parent)
    : QObject(parent), m_answers(std::move(answers))
{
    // A short interval rather than zero keeps the nested loop from spinning.
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalDialogAnswerer::poll);
    m_timer.start();
}

ModalDialogAnswerer::ModalDialogAnswerer(const QString& answer, QObject* parent)
    : ModalDialogAnswerer(QStringList{answer}, parent)
{}

ModalDialogAnswerer::~ModalDialogAnswerer() = default;

AnsweredDialog ModalDialogAnswerer::last() const
{
    return m_dialogs.isEmpty() ? AnsweredDialog{} : m_dialogs.back();
}

QString ModalDialogAnswerer::nextAnswer()
{
    if (m_answers.isEmpty())
        return QStringLiteral("reject");
    const int index = std::min<int>(m_next, static_cast<int>(m_answers.size()) - 1);
    ++m_next;
    return m_answers.at(index);
}

void ModalDialogAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == m_current)
        return;
    m_current = modal;

    AnsweredDialog seen;
    seen.className = QString::fromLatin1(modal->metaObject()->className());
    seen.objectName = modal->objectName();
    seen.title = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.text = box->text();
        seen.informativeText = box->informativeText();
    } else {
        QStringList labels;
        for (QLabel* label : modal->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                labels << label->text();
        seen.text = labels.join(QLatin1Char('\n'));
    }
    const QList<QAbstractButton*> buttons = modal->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons)
        if (button->isVisible() && !button->text().isEmpty())
            seen.buttons << plain(button->text());

    const QString answer = nextAnswer();
    auto* dialog = qobject_cast<QDialog*>(modal);
    QAbstractButton* target = nullptr;
    for (QAbstractButton* button : buttons) {
        if (!button->isVisible())
            continue;
        if (plain(button->text()) == plain(answer) || button->objectName() == answer) {
            target = button;
            break;
        }
    }
    if (answer == QLatin1String("leave")) {
        m_dialogs.append(seen);
    } else if (target) {
        seen.pressed = plain(target->text());
        m_dialogs.append(seen);
        target->click();
    } else if (dialog && answer == QLatin1String("accept")) {
        seen.pressed = answer;
        m_dialogs.append(seen);
        dialog->accept();
    } else if (dialog) {
        // An answer that names nothing still closes the dialog, so no test hangs;
        // `pressed` stays empty for the test to see.
        m_dialogs.append(seen);
        dialog->reject();
    } else {
        m_dialogs.append(seen);
        modal->close();
    }
}

} // namespace test
} // namespace tessal
