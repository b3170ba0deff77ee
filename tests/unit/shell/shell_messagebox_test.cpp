// The program's one message box: application name as title, rich text,
// Ok (and Cancel for a question), and the pressed button as the result.

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QMessageBox>

#include <gtest/gtest.h>

#include "ModalDialogAnswerer.h"
#include "shell/MessageBox.h"

using tessal::test::ModalDialogAnswerer;

TEST(MessageBox, QuestionReturnsOkOrCancel) {
  QCoreApplication::setApplicationName("Tessal VPN");
  {
    ModalDialogAnswerer answerer("OK");
    EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Ok);
    EXPECT_EQ(answerer.last().title, "Tessal VPN");
    EXPECT_EQ(answerer.last().buttons, (QStringList{"OK", "Cancel"}));
  }
  {
    ModalDialogAnswerer answerer("Cancel");
    EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Cancel);
  }
  {
    // Closing the box's window is declining it.
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [] {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    closer.start();
    EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Cancel);
  }
}

TEST(MessageBox, SeverityBoxesHaveOkOnly) {
  ModalDialogAnswerer answerer("OK");
  EXPECT_EQ(tessal::qt::ShowCriticalBox("<b>bold</b> text"), QMessageBox::Ok);
  EXPECT_EQ(answerer.last().className, "tessal::qt::MessageBox");
  EXPECT_EQ(answerer.last().buttons, QStringList{"OK"});
  EXPECT_EQ(tessal::qt::ShowWarningBox("w"), QMessageBox::Ok);
  EXPECT_EQ(tessal::qt::ShowInformationBox("i"), QMessageBox::Ok);
  EXPECT_EQ(answerer.count(), 3);
}
