#include "classlib/Component.h"
#include "classlib/SysUtils.h"

TComponent::TComponent(TComponent* owner) : QObject(owner), m_owner(owner) {
    if (m_owner)
        m_owner->m_components.append(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (m_owner)
        m_owner->m_components.removeOne(this);
}

void TComponent::DestroyComponents() {
    while (!m_components.isEmpty()) {
        TComponent* last = m_components.takeLast();
        last->m_owner = nullptr;
        delete last;
    }
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= m_components.size())
        RaiseListIndexError(index);
    return m_components.at(index);
}

TComponent* TComponent::FindComponent(const QString& name) const {
    if (name.isEmpty())
        return nullptr;
    for (TComponent* c : m_components)
        if (c->m_name.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

void TComponent::ValidateRename(const TComponent* component, const QString& curName,
                                const QString& newName) const {
    if (component && curName.compare(newName, Qt::CaseInsensitive) == 0)
        return;
    if (const TComponent* other = FindComponent(newName); other && other != component)
        throw EComponentError(QStringLiteral("A component named %1 already exists").arg(newName));
}

void TComponent::SetName(const QString& newName) {
    if (m_name == newName)
        return;
    if (!newName.isEmpty() && !IsValidIdent(newName))
        throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(newName));
    if (m_owner)
        m_owner->ValidateRename(this, m_name, newName);
    m_name = newName;
    setObjectName(newName);
}
