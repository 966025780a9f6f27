#include "classlib/ClassRegistry.h"
#include "classlib/SysUtils.h"
#include <QHash>
#include <QMetaMethod>
#include <QObject>
#include <mutex>

namespace {

struct TRegisteredClass {
    const QMetaObject* metaClass;
    TObjectFactory factory;
};

struct Registry {
    std::mutex mutex;
    QHash<QString, TRegisteredClass> classes; // key: class name in lower case
};

Registry& registry() {
    static Registry r;
    return r;
}

QString keyOf(const QString& name) {
    return name.toLower();
}

QString nameOf(const QMetaObject* metaClass) {
    return QString::fromLatin1(metaClass->className());
}

// A Q_INVOKABLE constructor with no parameter or with one QObject pointer parameter that owner fits.
QObject* constructFor(const QMetaObject* metaClass, QObject* owner) {
    int noArgument = -1;
    for (int i = 0; i < metaClass->constructorCount(); ++i) {
        const QMetaMethod ctor = metaClass->constructor(i);
        if (ctor.parameterCount() == 0) {
            noArgument = i;
            continue;
        }
        if (ctor.parameterCount() != 1)
            continue;
        const QMetaType param = ctor.parameterMetaType(0);
        if (!(param.flags() & QMetaType::PointerToQObject) || !param.metaObject())
            continue;
        if (owner && !owner->metaObject()->inherits(param.metaObject()))
            continue;
        // QObject is the first base of every moc class, so the owner pointer serves as the parameter's type.
        const QByteArray typeName = param.name();
        return metaClass->newInstance(QGenericArgument(typeName.constData(), &owner));
    }
    if (noArgument >= 0 && !owner)
        return metaClass->newInstance();
    throw EFilerError(QStringLiteral("Class %1 has no constructor for its owner").arg(nameOf(metaClass)));
}

} // namespace

void RegisterClass(const QMetaObject* metaClass, TObjectFactory factory) {
    if (!metaClass)
        return;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const QString key = keyOf(nameOf(metaClass));
    if (auto it = r.classes.find(key); it != r.classes.end()) {
        if (it->metaClass != metaClass)
            throw EFilerError(QStringLiteral("A class named %1 already exists").arg(nameOf(metaClass)));
        return;
    }
    r.classes.insert(key, {metaClass, std::move(factory)});
}

void UnRegisterClass(const QMetaObject* metaClass) {
    if (!metaClass)
        return;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const QString key = keyOf(nameOf(metaClass));
    if (auto it = r.classes.find(key); it != r.classes.end() && it->metaClass == metaClass)
        r.classes.erase(it);
}

const QMetaObject* GetClass(const QString& className) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.classes.constFind(keyOf(className));
    return it == r.classes.cend() ? nullptr : it->metaClass;
}

const QMetaObject* FindClass(const QString& className) {
    const QMetaObject* metaClass = GetClass(className);
    if (!metaClass)
        throw EClassNotFound(QStringLiteral("Class %1 not found").arg(className));
    return metaClass;
}

QObject* CreateRegisteredObject(const QMetaObject* metaClass, QObject* owner) {
    if (!metaClass)
        throw EClassNotFound(QStringLiteral("Class %1 not found").arg(QStringLiteral("nil")));
    TObjectFactory factory;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const auto it = r.classes.constFind(keyOf(nameOf(metaClass)));
        if (it == r.classes.cend() || it->metaClass != metaClass)
            throw EClassNotFound(QStringLiteral("Class %1 not found").arg(nameOf(metaClass)));
        factory = it->factory;
    }
    QObject* obj = factory ? factory(owner) : constructFor(metaClass, owner);
    if (!obj)
        throw EFilerError(QStringLiteral("Cannot create an object of class %1").arg(nameOf(metaClass)));
    return obj;
}
