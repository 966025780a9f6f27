#include "reporter/gui/OProgramWindow.h"

#include "OBase64.h"
#include "reporter/gui/ODesktopFacts.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <cstring>

namespace reporter {

namespace {

constexpr char ParentVariable[] = "OSTREL_PARENT_WINDOW";
constexpr char FocusVariable[] = "OSTREL_FOCUS_RECT";
constexpr char WindowRectVariable[] = "OSTREL_WINDOW_RECT";
constexpr char ClassVariable[] = "OSTREL_WINDOW_CLASS";
constexpr char IconVariable[] = "OSTREL_WINDOW_ICON";
// The toolkit's own variable for the first name of the class hint.
constexpr char InstanceVariable[] = "RESOURCE_NAME";
constexpr int IconSide = 64;
// An environment string may hold 128 KiB; an icon of 64 pixels a side is far below this.
constexpr size_t MaxIconText = 96 * 1024;
constexpr size_t MaxNameText = 256;
constexpr int MaxCoordinate = 1 << 20;

bool IsX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QString Variable(const char* name, size_t limit) {
    const char* value = std::getenv(name);
    if (value == nullptr || std::strlen(value) > limit)
        return QString();
    return QString::fromUtf8(value);
}

std::string RectText(int32_t x, int32_t y, int32_t width, int32_t height) {
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
           std::to_string(height);
}

// "x,y,width,height" with a size above 0 and every value in bounds; none for anything else.
std::optional<QRect> RectVariable(const char* name) {
    const QStringList parts = Variable(name, 64).split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok || values[i] <= -MaxCoordinate || values[i] >= MaxCoordinate)
            return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

} // namespace

TProgramWindowClass CurrentWindowClass() {
    // As the X11 platform names a window: the resource name or the program's file name, then the
    // application's name or that file name with a capital.
    TProgramWindowClass result;
    const QString file = QFileInfo(QCoreApplication::arguments().value(0)).fileName();
    const QString instance =
        qEnvironmentVariableIsSet(InstanceVariable) ? qEnvironmentVariable(InstanceVariable) : file;
    QString className = QCoreApplication::applicationName();
    if (className.isEmpty()) {
        className = file;
        if (!className.isEmpty() && className.at(0).isLower())
            className[0] = className.at(0).toUpper();
    }
    result.Instance = instance.left(int(MaxNameText)).toStdString();
    result.Class = className.left(int(MaxNameText)).toStdString();
    return result;
}

std::string IconAsPng(const QIcon& icon) {
    if (icon.isNull())
        return std::string();
    const QPixmap pixmap = icon.pixmap(QSize(IconSide, IconSide));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (pixmap.isNull() || !buffer.open(QIODevice::WriteOnly) || !pixmap.save(&buffer, "PNG"))
        return std::string();
    return bytes.toStdString();
}

std::vector<std::string> ProgramWindowEnvironment() {
    std::vector<std::string> lines;
    const TDesktopFactsStore* store = TDesktopFactsStore::ProgramStore();
    const std::optional<TDesktopFacts> facts = store != nullptr ? store->Read() : std::nullopt;
    if (!facts)
        return lines;
    if (const uint64_t parent = facts->MainWindowId != 0 ? facts->MainWindowId : facts->WindowId; parent != 0)
        lines.push_back(std::string(ParentVariable) + "=" + std::to_string(parent));
    if (facts->HasWindowRect)
        lines.push_back(std::string(WindowRectVariable) + "=" +
                        RectText(facts->WindowX, facts->WindowY, facts->WindowWidth, facts->WindowHeight));
    if (facts->HasControlRect)
        lines.push_back(
            std::string(FocusVariable) + "=" +
            RectText(facts->ControlX, facts->ControlY, facts->ControlWidth, facts->ControlHeight));
    if (!facts->WindowInstance.empty())
        lines.push_back(std::string(InstanceVariable) + "=" + facts->WindowInstance);
    if (!facts->WindowClassName.empty())
        lines.push_back(std::string(ClassVariable) + "=" + facts->WindowClassName);
    if (!facts->IconPng.empty()) {
        std::string text = Base64Encode(facts->IconPng.data(), facts->IconPng.size());
        if (text.size() <= MaxIconText)
            lines.push_back(std::string(IconVariable) + "=" + text);
    }
    return lines;
}

bool IsProgramWindowVariable(const char* entry) {
    for (const char* name :
         {ParentVariable, WindowRectVariable, FocusVariable, ClassVariable, IconVariable, InstanceVariable}) {
        const size_t length = std::strlen(name);
        if (std::strncmp(entry, name, length) == 0 && entry[length] == '=')
            return true;
    }
    return false;
}

TProgramWindow ProgramWindowFromEnvironment() {
    TProgramWindow program;
    bool ok = false;
    const qulonglong parent = Variable(ParentVariable, 32).toULongLong(&ok);
    if (ok)
        program.Parent = parent;
    program.Window = RectVariable(WindowRectVariable);
    program.Focus = RectVariable(FocusVariable);
    program.Class = Variable(ClassVariable, MaxNameText);
    const QByteArray icon = QByteArray::fromBase64(Variable(IconVariable, MaxIconText).toLatin1(),
                                                   QByteArray::AbortOnBase64DecodingErrors);
    QPixmap pixmap;
    if (!icon.isEmpty() && pixmap.loadFromData(icon, "PNG"))
        program.Icon = QIcon(pixmap);
    return program;
}

void TakeProgramLook(const TProgramWindow& program) {
    if (!program.Class.isEmpty())
        QCoreApplication::setApplicationName(program.Class);
    if (!program.Icon.isNull())
        QGuiApplication::setWindowIcon(program.Icon);
}

std::unique_ptr<QWindow> BelongToProgram(QWidget& dialog, const TProgramWindow& program) {
    // Wayland knows no foreign windows: there the dialog stays a window of its own.
    if (program.Parent == 0 || !IsX11())
        return nullptr;
    std::unique_ptr<QWindow> parent(QWindow::fromWinId(WId(program.Parent)));
    if (parent == nullptr)
        return nullptr;
    dialog.winId(); // the native window, so that it can be given its parent before it shows
    if (QWindow* own = dialog.windowHandle())
        own->setTransientParent(parent.get());
    return parent;
}

} // namespace reporter
