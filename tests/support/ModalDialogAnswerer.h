#pragma once
// The one way tests answer modal dialogs: while an answerer lives, a short
// timer looks for QApplication::activeModalWidget() (which keeps firing inside
// the dialog's nested event loop), records what the dialog said and presses
// the button the test named. No production code knows about it.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace tessal {
namespace test {

struct AnsweredDialog {
    QString className; // e.g. "QMessageBox", "tessal::qt::TrustedSiteDialog"
    QString objectName;
    QString title; // windowTitle()
    QString text; // QMessageBox::text(), else the visible labels joined with "\n"
    QString informativeText;
    QStringList buttons; // texts (without '&') of the visible buttons
    QString pressed; // what was pressed; empty when nothing matched
};

class ModalDialogAnswerer final : public QObject
{
    Q_OBJECT
public:
    // Answers are used in order, one per dialog; the last one repeats.
    // An answer names a button by its text (with or without '&'), its object
    // name, or one of the words "accept" and "reject" (QDialog::accept/reject),
    // or "leave": the dialog is recorded and left open for the test to end.
    explicit ModalDialogAnswerer(QStringList answers, QObject* parent = nullptr);
    explicit ModalDialogAnswerer(const QString& answer, QObject* parent = nullptr);
    ~ModalDialogAnswerer() override;

    const QList<AnsweredDialog>& dialogs() const { return m_dialogs; }
    int count() const { return static_cast<int>(m_dialogs.size()); }
    // The last dialog seen; an empty record when none was seen.
    AnsweredDialog last() const;

private:
    void poll();
    QString nextAnswer();

    QStringList m_answers;
    int m_next = 0;
    QTimer m_timer;
    QPointer<QWidget> m_current;
    QList<AnsweredDialog> m_dialogs;
};

} // namespace test
} // namespace tessal
