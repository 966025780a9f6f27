#include <QApplication>
#include <QMainWindow>
#include <QTreeView>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vexa Daxo Soft"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Vexa Daxo Soft"));
    auto* tree = new QTreeView(&window);
    tree->setObjectName(QStringLiteral("tvNetwork"));
    window.setCentralWidget(tree);
    window.resize(900, 600);
    window.show();
    return QApplication::exec();
}
