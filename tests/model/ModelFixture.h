#pragma once
// A network on a tree of its own, with message boxes and inspector requests recorded.
#include "classlib/SysUtils.h"
#include "model/IOClasses.h"
#include "tests/support/RecordingPresenter.h"
#include <QMetaProperty>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

class RecordingInspectorLink : public TInspectorLink {
public:
    void RequestRebuildItems() override { ++rebuilds; }
    void RequestRefreshOrRescan() override { ++refreshes; }
    int rebuilds = 0;
    int refreshes = 0;
};

class ModelTest : public ::testing::Test {
protected:
    ModelTest() : m_previousLink(SetInspectorLink(&link)) {}
    ~ModelTest() override { SetInspectorLink(m_previousLink); }

    // A device that answers at and is configured to the address, built for the model code.
    TRemoteIO* AddDevice(int address, int modelCode) {
        TRemoteIO* device = network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(address);
        device->Comm()->SetAddress(address);
        device->Information()->SetModelCode(modelCode);
        return device;
    }

    static QStringList ChildTexts(const TTreeNode* node) {
        QStringList texts;
        for (int i = 0; i < node->Count(); ++i)
            texts << node->Item(i)->Text();
        return texts;
    }

    static QList<int> ChildImages(const TTreeNode* node) {
        QList<int> images;
        for (int i = 0; i < node->Count(); ++i)
            images << node->Item(i)->ImageIndex();
        return images;
    }

    // The one message shown since the last call, or a failure when there was not exactly one.
    TMessageRequest TakeOnlyMessage() {
        EXPECT_EQ(messages->requests.size(), 1) << messages->Texts().join(" | ").toStdString();
        TMessageRequest r = messages->requests.value(0);
        messages->requests.clear();
        return r;
    }

    ScopedRecordingPresenter messages;
    RecordingInspectorLink link;
    TTreeNodes nodes;
    std::unique_ptr<TRemoteIONetwork> network = std::make_unique<TRemoteIONetwork>(nullptr, &nodes, nullptr);

private:
    TInspectorLink* m_previousLink;
};

// Writes a published property the way the inspector does (never creating a dynamic property).
inline bool WriteProperty(QObject* object, const char* name, const QVariant& value) {
    const int index = object->metaObject()->indexOfProperty(name);
    EXPECT_GE(index, 0) << name;
    return index >= 0 && object->metaObject()->property(index).write(object, value);
}

// Lets gtest print QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(", ").toStdString() << ']';
}
