// Menu commands that the user switches on and off, remembered between runs in
// options.ini of the program's config folder (the product profile stays the runtime
// library's).
#pragma once

#include <QString>

class QAction;

namespace menuoptions {

// Makes the action checkable, checks it as last remembered (defaultValue the first
// time) and remembers every change.
void Bind(QAction* action, const char* key, bool defaultValue);
// The remembered value of key.
bool Value(const char* key, bool defaultValue);
QString FilePath();

}  // namespace menuoptions
