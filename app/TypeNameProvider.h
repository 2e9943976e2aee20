// Where the browser's "Type" column comes from: the GUI and the CLI each give one.
#pragma once

#include <string>

#include "platform/Win32.h"

class ITypeNameProvider {
public:
    virtual ~ITypeNameProvider() = default;
    // The type name of a file of this name and these attributes, decided from the name
    // alone (the disk is never touched); empty when there is none.
    virtual std::string TypeName(const std::string& name, DWORD attributes) = 0;
};
