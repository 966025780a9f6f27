#pragma once
// A message presenter for tests: records every box and answers at once with a chosen result.
#include "classlib/Dialogs.h"
#include <QList>

class RecordingPresenter : public IMessagePresenter {
public:
    int Present(const TMessageRequest& request) override {
        requests.append(request);
        return answer;
    }
    QStringList Texts() const {
        QStringList t;
        for (const auto& r : requests)
            t << r.text;
        return t;
    }
    QList<TMessageRequest> requests;
    int answer = mrOk;
};

// Installs a RecordingPresenter for the lifetime of the guard and restores the previous one.
class ScopedRecordingPresenter {
public:
    ScopedRecordingPresenter() {
        auto p = std::make_unique<RecordingPresenter>();
        m_presenter = p.get();
        m_previous = SetMessagePresenter(std::move(p));
    }
    ~ScopedRecordingPresenter() { SetMessagePresenter(std::move(m_previous)); }
    RecordingPresenter* operator->() const { return m_presenter; }
    RecordingPresenter& operator*() const { return *m_presenter; }

private:
    RecordingPresenter* m_presenter;
    std::unique_ptr<IMessagePresenter> m_previous;
};
