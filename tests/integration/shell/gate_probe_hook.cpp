// Linked into a test build of tessalvpn's own main.cpp: raises the oldest
// accepted toolkit above the one installed, so that the start-up gate
// refuses, answers the box it shows with Ok and prints what the box said on
// standard error when the process ends.

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "ModalDialogAnswerer.h"
#include "shell/CustomQApplication.h"

namespace {

tessal::test::ModalDialogAnswerer* g_answerer = nullptr;

void printDialogs()
{
    if (g_answerer == nullptr)
        return;
    for (const auto& dialog : g_answerer->dialogs())
        std::fprintf(stderr, "DIALOG title=[%s] text=[%s] pressed=[%s]\n", dialog.title.toUtf8().constData(),
                     dialog.text.toUtf8().constData(), dialog.pressed.toUtf8().constData());
    std::fflush(stderr);
}

// Runs while the application object is being built, before its start routine.
void installProbe()
{
    tessal::qt::setMinimumToolkitVersion(QStringLiteral("99.0.0"));
    g_answerer = new tessal::test::ModalDialogAnswerer(QStringLiteral("OK"));
    std::atexit(printDialogs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
