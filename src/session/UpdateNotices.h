#pragma once
// How the updater speaks to the user: modal boxes in the program's one style
// (application name as title, rich text, Ok or Ok and Cancel) and the tray
// warning. Texts are rich text: escape server data before putting it in.

#include <QMessageBox>
#include <QString>

namespace tessal::qt {

// Question box with Ok and Cancel (Ok the default); returns the button pressed.
int askUpdateQuestion(const QString& text);
// Information box with Ok.
void showUpdateInformation(const QString& text);
// Warning balloon of the session tray icon, application name + " - Warning"
// as title, shown for displayMs.
void showUpdateTrayWarning(const QString& text, int displayMs);

}  // namespace tessal::qt
