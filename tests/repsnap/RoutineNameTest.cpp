// Demangled names taken apart into the class and the procedure of a call-stack line.
#include "ORoutineName.h"

#include <gtest/gtest.h>

using namespace reporter;

namespace {

TEST(RoutineNames, SplitAtTheLastScopeWithLambdasKeptInTheirRoutine) {
    const struct {
        const char* Demangled;
        const char* Class;
        const char* Procedure;
    } cases[] = {
        {"main", "", "main"},
        {"_GLOBAL__sub_I_OProcessing.cpp", "", "_GLOBAL__sub_I_OProcessing.cpp"},
        {"reporter::TOProcessing::Run(int) [clone .cold]", "reporter::TOProcessing", "Run"},
        {"TFoo::qt_static_metacall(QObject*, QMetaObject::Call, int, void**)", "TFoo", "qt_static_metacall"},
        {"std::string ns::Name<int>(std::vector<int> const&)", "ns", "Name<int>"},
        {"(anonymous namespace)::Run(void (*)(int))", "(anonymous namespace)", "Run"},
        {"ns::C::operator<<(std::ostream&)", "ns::C", "operator<<"},
        {"ns::C::operator()(int) const", "ns::C", "operator()"},
        {"TFindSlaveThread::Execute()::{lambda()#1}::operator()() const", "TFindSlaveThread",
         "Execute::<lambda>"},
        {"A::f(int) const::{lambda(int, int)#2}::operator()(int, int) const", "A", "f::<lambda>"},
        {"QtPrivate::QMetaTypeForType<TComm*>::getLegacyRegister()::{lambda()#1}::_FUN()",
         "QtPrivate::QMetaTypeForType<TComm*>", "getLegacyRegister::<lambda>::_FUN"},
        {"Free()::{lambda()#1}::operator()() const", "", "Free::<lambda>"},
    };
    for (const auto& c : cases) {
        const TRoutineName name = SplitRoutineName(c.Demangled);
        EXPECT_EQ(name.Class, c.Class) << c.Demangled;
        EXPECT_EQ(name.Procedure, c.Procedure) << c.Demangled;
    }
    EXPECT_EQ(Demangle("_ZN1a1bEv"), "a::b()");
    EXPECT_EQ(Demangle("_GLOBAL__sub_I_x.cpp"), "");
    EXPECT_EQ(Demangle("_Zbroken"), "");
}

} // namespace
