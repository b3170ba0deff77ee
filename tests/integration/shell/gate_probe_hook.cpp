// Linked into test builds of tessalvpn's own main.cpp. The gate probe raises
// the oldest accepted toolkit above the one installed, so that the start-up
// gate refuses and shows its box; the dialog probe leaves the start-up as it
// is. Both answer every box with the button named in "TESSAL_PROBE_ANSWER"
// (OK when unset) and print what each box said and showed on standard error
// when the process ends.

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "ModalDialogAnswerer.h"
#include "shell/CustomQApplication.h"
#include "shell/ShellTestSeam.h"

namespace {

tessal::test::ModalDialogAnswerer* g_answerer = nullptr;

void printDialogs()
{
    if (g_answerer == nullptr)
        return;
    for (const auto& dialog : g_answerer->dialogs())
        std::fprintf(stderr, "DIALOG title=[%s] text=[%s] pressed=[%s] buttons=[%s]\n",
                     dialog.title.toUtf8().constData(), dialog.text.toUtf8().constData(),
                     dialog.pressed.toUtf8().constData(), dialog.buttons.join(QLatin1Char('|')).toUtf8().constData());
    std::fflush(stderr);
}

// Runs while the application object is being built, before its start routine.
void installProbe()
{
#ifdef TESSAL_PROBE_RAISES_GATE
    tessal::qt::ShellTestSeam::setMinimumToolkitVersion(QStringLiteral("99.0.0"));
#endif
    const QString answer = qEnvironmentVariable("TESSAL_PROBE_ANSWER", QStringLiteral("OK"));
    g_answerer = new tessal::test::ModalDialogAnswerer(answer);
    std::atexit(printDialogs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
