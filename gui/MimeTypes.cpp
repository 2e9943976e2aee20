#include "gui/MimeTypes.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace {

QString CacheKey(const std::string& name, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return QStringLiteral("/");
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return QString();
    return QString::fromStdString(name.substr(dot)).toLower();
}

}  // namespace

const CMimeTypes::Entry& CMimeTypes::Lookup(const std::string& name, DWORD attributes) {
    const QString key = CacheKey(name, attributes);
    auto it = m_cache.find(key);
    if (it != m_cache.end()) return *it;

    static const QMimeDatabase db;
    QMimeType type = key == QStringLiteral("/")
                         ? db.mimeTypeForName(QStringLiteral("inode/directory"))
                         : db.mimeTypeForFile(QStringLiteral("x") + key, QMimeDatabase::MatchExtension);
    Entry entry;
    QStyle* style = QApplication::style();
    const QIcon fallback = style->standardIcon(key == QStringLiteral("/") ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    if (type.isValid() && !type.isDefault()) {
        entry.typeName = type.comment().toStdString();
        // Without an icon theme both look-ups come back empty: the style's icons stand in.
        entry.icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
    } else {
        entry.icon = fallback;
    }
    return *m_cache.insert(key, entry);
}

std::string CMimeTypes::TypeName(const std::string& name, DWORD attributes) {
    return Lookup(name, attributes).typeName;
}

QIcon CMimeTypes::Icon(const std::string& name, DWORD attributes) { return Lookup(name, attributes).icon; }
