#include "cli/QtMimeTypeNames.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

std::string CQtMimeTypeNames::TypeName(const std::string& name, DWORD attributes) {
    QMimeDatabase db;
    QMimeType type = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                         ? db.mimeTypeForName(QStringLiteral("inode/directory"))
                         : db.mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension);
    // The catch-all type says nothing the fallback text would not say better.
    if (!type.isValid() || type.isDefault()) return {};
    return type.comment().toStdString();
}
