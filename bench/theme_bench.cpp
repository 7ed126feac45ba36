// Cost of asking for the current theme, which the highlighter does on every scroll: both theme
// folders are listed and every file's time read each call; only parsing is cached.
#include "BenchSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsKeys.h"
#include "theme/EditorThemeStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace korimado;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    QDir().mkpath(root.filePath("bundled"));
    QDir().mkpath(root.filePath("user"));
    for (int i = 0; i < 16; ++i) {
        QFile file(root.filePath(QStringLiteral("%1/Theme %2.cottheme").arg(i < 14 ? "bundled" : "user").arg(i)));
        if (!file.open(QIODevice::WriteOnly)) return 1;
        EditorTheme theme = EditorTheme::fallback();
        theme.name = QStringLiteral("Theme %1").arg(i);
        file.write(theme.encodedData());
    }
    const EditorThemeStore store(root.filePath("bundled"), root.filePath("user"));
    UserDefaults defaults;
    defaults.setString(EditorSettingsKey::themeName, "Theme 15");

    bench::Stopwatch cold;
    EditorTheme::current(defaults, store);
    bench::report("theme_current_first_ms", cold.ms());

    std::vector<double> samples;
    for (int i = 0; i < 500; ++i) {
        bench::Stopwatch watch;
        EditorTheme::current(defaults, store);
        samples.push_back(watch.us());
    }
    bench::report("theme_current_p50_us", bench::percentile(samples, 50));
    bench::report("theme_current_p95_us", bench::percentile(samples, 95));
    return 0;
}
