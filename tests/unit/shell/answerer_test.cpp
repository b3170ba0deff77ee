// The test answerer itself: it must see and answer message boxes and plain
// dialogs inside their nested loops, or every dialog test would hang.

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "ModalDialogAnswerer.h"

using tessal::test::ModalDialogAnswerer;

TEST(ModalDialogAnswerer, PressesTheNamedButtonsInOrderAndRecordsTheBoxes)
{
    ModalDialogAnswerer answerer(QStringList{QStringLiteral("No"), QStringLiteral("Yes")});
    const auto first = QMessageBox::question(nullptr, QStringLiteral("Title A"), QStringLiteral("Question A"));
    const auto second = QMessageBox::question(nullptr, QStringLiteral("Title B"), QStringLiteral("Question B"));
    EXPECT_EQ(first, QMessageBox::No);
    EXPECT_EQ(second, QMessageBox::Yes);
    ASSERT_EQ(answerer.count(), 2);
    EXPECT_EQ(answerer.dialogs()[0].title, QStringLiteral("Title A"));
    EXPECT_EQ(answerer.dialogs()[0].text, QStringLiteral("Question A"));
    EXPECT_EQ(answerer.dialogs()[0].className, QStringLiteral("QMessageBox"));
    EXPECT_TRUE(answerer.dialogs()[0].buttons.contains(QStringLiteral("Yes")));
    EXPECT_EQ(answerer.last().pressed, QStringLiteral("Yes"));
}

TEST(ModalDialogAnswerer, FindsButtonsByObjectNameAndClosesDialogsItCannotAnswer)
{
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Custom"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Some text"), &dialog));
    auto* ok = new QPushButton(QStringLiteral("&Continue"), &dialog);
    ok->setObjectName(QStringLiteral("continueButton"));
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(ok);

    {
        ModalDialogAnswerer answerer(QStringLiteral("continueButton"));
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(answerer.last().pressed, QStringLiteral("Continue"));
        EXPECT_EQ(answerer.last().text, QStringLiteral("Some text"));
    }
    {
        ModalDialogAnswerer answerer(QStringLiteral("no such button"));
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
        EXPECT_TRUE(answerer.last().pressed.isEmpty());
    }
}
