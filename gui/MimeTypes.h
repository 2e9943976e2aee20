// Type names and icons of the file list from Qt's MIME database, decided from the name
// alone (the scanned volume is never touched). Cached per extension: a list of many
// thousand rows asks for the same few types again and again.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <string>

#include "app/TypeNameProvider.h"

class CMimeTypes final : public ITypeNameProvider {
public:
    std::string TypeName(const std::string& name, DWORD attributes) override;
    QIcon Icon(const std::string& name, DWORD attributes);

private:
    struct Entry {
        std::string typeName;  // "" when the database knows only the catch-all type
        QIcon icon;
    };
    const Entry& Lookup(const std::string& name, DWORD attributes);

    QHash<QString, Entry> m_cache;  // key: "/" for folders, else the lower-case extension
};
