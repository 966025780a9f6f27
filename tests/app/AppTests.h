#pragma once
// Registry of the test classes of this binary: each test file registers its class with a static
// TAppTestRegistration.
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

using TAppTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<TAppTestFactory>& AppTestClasses() {
    static std::vector<TAppTestFactory> classes;
    return classes;
}

template <class T> struct TAppTestRegistration {
    TAppTestRegistration() {
        AppTestClasses().push_back([] { return std::make_unique<T>(); });
    }
};
