// Type names for the browser's "Type" column from Qt's MIME database, matched by the
// file name alone.
#pragma once

#include "app/TypeNameProvider.h"

class CQtMimeTypeNames final : public ITypeNameProvider {
public:
    std::string TypeName(const std::string& name, DWORD attributes) override;
};
