// The product toolbox: the menu entries the library offers a program's main menu and
// what choosing one of them does (open a page of the product's site or a mail to support).
#pragma once

#include <string>
#include <vector>

#include "mvcmn/MvcmnApi.h"
#include "mvcmn/Profile.h"

struct ToolboxEntry {
    unsigned nCommand;
    std::string szCaption;
    std::string szTarget;  // URL handed to the opener
};

class CToolbox {
public:
    // Entries numbered from kToolboxFirstCommand, their targets taken from the profile.
    static std::vector<ToolboxEntry> Entries(const CProfile& profile);
    // Adds every entry to the menu; a null menu or AddItem adds nothing.
    static void Fill(MvToolboxMenu* menu, const CProfile& profile);
    // Opens the target of the entry with that command; false for an unknown command
    // or when the opener could not be started. The opener is $QUENVAR_URL_OPENER when
    // set, else xdg-open; it runs detached and is never waited for by the caller.
    static bool Choose(unsigned command, const CProfile& profile);
};
