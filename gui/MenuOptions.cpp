#include "gui/MenuOptions.h"

#include <QAction>
#include <QSettings>

#include "platform/Folders.h"

namespace menuoptions {

namespace {
constexpr const char* kSection = "Options/";
}

QString FilePath() { return QString::fromStdString(platform::ConfigFolder()) + QStringLiteral("/options.ini"); }

bool Value(const char* key, bool defaultValue) {
    QSettings settings(FilePath(), QSettings::IniFormat);
    return settings.value(QLatin1String(kSection) + QLatin1String(key), defaultValue).toBool();
}

void Bind(QAction* action, const char* key, bool defaultValue) {
    action->setCheckable(true);
    action->setChecked(Value(key, defaultValue));
    const QString name = QLatin1String(kSection) + QLatin1String(key);
    QObject::connect(action, &QAction::toggled, action, [name](bool on) {
        platform::MakeFolders(platform::ConfigFolder());
        QSettings settings(FilePath(), QSettings::IniFormat);
        settings.setValue(name, on);
    });
}

}  // namespace menuoptions
