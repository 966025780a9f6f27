#pragma once
// TComponent: an owned, named object. The owner is the QObject parent and frees what it owns;
// names follow the class library's rules (valid identifier, unique among the owner's components).
#include <QList>
#include <QObject>
#include <QString>

class TComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(qint32 Tag READ Tag WRITE SetTag)
    Q_CLASSINFO("default:Tag", "0")

public:
    Q_INVOKABLE explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    QString Name() const { return m_name; }
    // Raises EComponentError and changes nothing when the new name breaks a rule.
    virtual void SetName(const QString& newName);
    qint32 Tag() const { return m_tag; }
    void SetTag(qint32 tag) { m_tag = tag; }

    int ComponentCount() const { return int(m_components.size()); }
    TComponent* Components(int index) const;
    TComponent* FindComponent(const QString& name) const;
    // Frees every owned component, last first.
    void DestroyComponents();

protected:
    // Checks the rules for a new name; raises EComponentError.
    void ValidateRename(const TComponent* component, const QString& curName, const QString& newName) const;

private:
    TComponent* m_owner = nullptr;
    QString m_name;
    qint32 m_tag = 0;
    QList<TComponent*> m_components;
};
