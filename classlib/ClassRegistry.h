#pragma once
// The class registry: classes registered by name so that stored data can name the class of an object and
// have it created again (the collection filer stores each item's class name).
#include <QString>
#include <functional>

class QObject;
struct QMetaObject;

// Creates an object of a registered class for an owner (a collection for collection items).
using TObjectFactory = std::function<QObject*(QObject* owner)>;

// Registers a class under its class name. Without a factory, objects are made by a Q_INVOKABLE constructor
// taking the owner (TCollection*, TComponent*, QObject* ...) or none. Registering the same class again
// does nothing; another class of the same name raises EFilerError "A class named %s already exists".
void RegisterClass(const QMetaObject* metaClass, TObjectFactory factory = {});
template <class T> void RegisterClass(TObjectFactory factory = {}) {
    RegisterClass(&T::staticMetaObject, std::move(factory));
}
void UnRegisterClass(const QMetaObject* metaClass);

// The registered class of that name (ignoring case), or nullptr.
const QMetaObject* GetClass(const QString& className);
// As GetClass, but raises EClassNotFound "Class %s not found".
const QMetaObject* FindClass(const QString& className);

// A new object of a registered class for owner, through its factory or constructor. Raises
// EClassNotFound for an unregistered class and EFilerError when no constructor fits the owner.
QObject* CreateRegisteredObject(const QMetaObject* metaClass, QObject* owner);
