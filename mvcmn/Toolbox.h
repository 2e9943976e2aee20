// The product toolbox: the menu entries the library offers a program's main menu and
// what choosing one of them does (open the profile, the drive map or the command-line
// tool's help page in the desktop's own application for it).
#pragma once

#include <string>
#include <vector>

#include "mvcmn/MvcmnApi.h"
#include "mvcmn/Profile.h"

struct ToolboxEntry {
    unsigned nCommand;
    std::string szCaption;
    std::string szTarget;    // file handed to the opener; "" for the program's own command
    std::string szTemplate;  // written to a missing target first; "" when the target must exist
};

class CToolbox {
public:
    // The entries in menu order: commands from kToolboxFirstCommand, then "Toolbox Help"
    // (kToolboxHelpCommand, which the program handles itself).
    static std::vector<ToolboxEntry> Entries();
    // Adds every entry to the menu; a null menu or AddItem adds nothing.
    static void Fill(MvToolboxMenu* menu);
    // Opens the target of the entry with that command, creating it from its template
    // when missing. False for a command of no entry or of the program, a missing target
    // without a template, or when the opener could not be started. The opener is
    // $QUENVAR_URL_OPENER when set, else xdg-open; it runs detached.
    static bool Choose(unsigned command);
    // The commented profile a new quenvar.ini starts as.
    static std::string ProfileTemplate();
};
