// The search phase on x86-64 Linux: frame description entries found through the unwinder, their CIE's
// personality routine, and the GCC language-specific data area (call-site table, action table, type
// table) read the way the C++ runtime's personality routine reads it.
#include "OHandlerSearch.h"

#include "OInstructionLength.h"
#include "OMemory.h"
#include "OModules.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <vector>

extern "C" {
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);
}

namespace reporter {

namespace {

// The Itanium C++ ABI exception headers (libstdc++'s layout): the unwinder's record is their last field.
struct TCxaException {
    std::type_info* ExceptionType;
    void (*ExceptionDestructor)(void*);
    void (*UnexpectedHandler)();
    void (*TerminateHandler)();
    TCxaException* NextException;
    int HandlerCount;
    int HandlerSwitchValue;
    const unsigned char* ActionRecord;
    const unsigned char* LanguageSpecificData;
    _Unwind_Ptr CatchTemp;
    void* AdjustedPtr;
    _Unwind_Exception UnwindHeader;
};
struct TCxaDependentException {
    void* PrimaryException;
    void (*Padding)(void*);
    void (*UnexpectedHandler)();
    void (*TerminateHandler)();
    TCxaException* NextException;
    int HandlerCount;
    int HandlerSwitchValue;
    const unsigned char* ActionRecord;
    const unsigned char* LanguageSpecificData;
    _Unwind_Ptr CatchTemp;
    void* AdjustedPtr;
    _Unwind_Exception UnwindHeader;
};
static_assert(offsetof(TCxaException, UnwindHeader) == offsetof(TCxaDependentException, UnwindHeader));

constexpr uint64_t GnuCxxClass = 0x474e5543432b2b00ULL;          // "GNUCC++\0"
constexpr uint64_t GnuCxxDependentClass = 0x474e5543432b2b01ULL; // "GNUCC++\x01"

constexpr uint8_t EncOmit = 0xFF;
constexpr uint8_t EncIndirect = 0x80;

using TPersonality = _Unwind_Reason_Code (*)(int, _Unwind_Action, _Unwind_Exception_Class, _Unwind_Exception*,
                                             _Unwind_Context*);

std::mutex gLastChanceLock;
std::vector<uintptr_t> gLastChance;

bool IsLastChance(uintptr_t routine) {
    std::lock_guard guard(gLastChanceLock);
    return std::find(gLastChance.begin(), gLastChance.end(), routine) != gLastChance.end();
}

uint64_t ReadULEB(const uint8_t*& p) {
    uint64_t result = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
        byte = *p++;
        if (shift < 64)
            result |= uint64_t(byte & 0x7F) << shift;
        shift += 7;
    } while (byte & 0x80);
    return result;
}

int64_t ReadSLEB(const uint8_t*& p) {
    int64_t result = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
        byte = *p++;
        if (shift < 64)
            result |= int64_t(byte & 0x7F) << shift;
        shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40))
        result |= -(int64_t(1) << shift);
    return result;
}

template <typename T> T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

size_t EncodedSize(uint8_t encoding) {
    switch (encoding & 0x0F) {
    case 0x00:
    case 0x04:
    case 0x0C:
        return 8;
    case 0x02:
    case 0x0A:
        return 2;
    case 0x03:
    case 0x0B:
        return 4;
    default:
        return 0;
    }
}

// Reads a pointer in the DWARF exception-handling encoding; false for a form it does not know.
bool ReadEncoded(const uint8_t*& p, uint8_t encoding, uintptr_t functionBase, uintptr_t& value) {
    const uint8_t* field = p;
    uintptr_t raw;
    switch (encoding & 0x0F) {
    case 0x00:
    case 0x04:
    case 0x0C:
        raw = Load<uint64_t>(p);
        p += 8;
        break;
    case 0x01:
        raw = uintptr_t(ReadULEB(p));
        break;
    case 0x09:
        raw = uintptr_t(ReadSLEB(p));
        break;
    case 0x02:
        raw = Load<uint16_t>(p);
        p += 2;
        break;
    case 0x0A:
        raw = uintptr_t(intptr_t(Load<int16_t>(p)));
        p += 2;
        break;
    case 0x03:
        raw = Load<uint32_t>(p);
        p += 4;
        break;
    case 0x0B:
        raw = uintptr_t(intptr_t(Load<int32_t>(p)));
        p += 4;
        break;
    default:
        return false;
    }
    if (raw == 0 && (encoding & 0x70) != 0x40) {
        value = 0; // a null pointer stays null whatever its base
        return true;
    }
    switch (encoding & 0x70) {
    case 0x00:
        break;
    case 0x10:
        raw += reinterpret_cast<uintptr_t>(field);
        break;
    case 0x40:
        raw += functionBase;
        break;
    default:
        return false;
    }
    if (encoding & EncIndirect) {
        if (!SafeRead(raw, &raw, sizeof raw))
            return false;
    }
    value = raw;
    return true;
}

// The personality routine named by the CIE of the frame description entry.
TPersonality PersonalityOf(const uint8_t* fde) {
    if (Load<uint32_t>(fde) == 0xFFFFFFFF)
        return nullptr; // 64-bit DWARF: not produced for .eh_frame
    const uint8_t* deltaField = fde + 4;
    const uint8_t* cie = deltaField - Load<int32_t>(deltaField);
    const uint8_t* p = cie + 8; // length, CIE id
    const uint8_t version = *p++;
    const char* augmentation = reinterpret_cast<const char*>(p);
    p += std::strlen(augmentation) + 1;
    if (augmentation[0] == 'e' && augmentation[1] == 'h')
        p += sizeof(void*);
    ReadULEB(p); // code alignment
    ReadSLEB(p); // data alignment
    if (version == 1)
        ++p;
    else
        ReadULEB(p);
    if (augmentation[0] != 'z')
        return nullptr;
    ReadULEB(p);
    for (const char* a = augmentation + 1; *a != '\0'; ++a) {
        switch (*a) {
        case 'L':
        case 'R':
            ++p;
            break;
        case 'P': {
            const uint8_t encoding = *p++;
            uintptr_t routine;
            if (!ReadEncoded(p, encoding, 0, routine))
                return nullptr;
            return reinterpret_cast<TPersonality>(routine);
        }
        case 'S':
        case 'B':
            break;
        default:
            return nullptr;
        }
    }
    return nullptr;
}

uintptr_t Symbol(const char* name) {
    return reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, name));
}

uintptr_t CxxPersonality() {
    static const uintptr_t routine = Symbol("__gxx_personality_v0");
    return routine;
}

bool IsTerminateRoutine(uintptr_t routine) {
    static const uintptr_t terminate = Symbol("_ZSt9terminatev");
    static const uintptr_t callTerminate = Symbol("__cxa_call_terminate");
    return routine != 0 && (routine == terminate || routine == callTerminate);
}

// The target of a call or jump at the instruction, 0 when it is none.
uintptr_t BranchTarget(uintptr_t at, const uint8_t* code, const TInstructionInfo& info, bool& isCall) {
    isCall = false;
    if (info.Branch == TBranchKind::Near && info.BranchOffset >= 1 &&
        (code[info.BranchOffset - 1] == 0xE8 || code[info.BranchOffset - 1] == 0xE9)) {
        isCall = code[info.BranchOffset - 1] == 0xE8;
        return at + info.Length + uintptr_t(intptr_t(Load<int32_t>(code + info.BranchOffset)));
    }
    if (info.RipRelative && info.RipOffset >= 2 && code[info.RipOffset - 2] == 0xFF &&
        (code[info.RipOffset - 1] == 0x15 || code[info.RipOffset - 1] == 0x25)) {
        isCall = code[info.RipOffset - 1] == 0x15;
        uintptr_t slot = at + info.Length + uintptr_t(intptr_t(Load<int32_t>(code + info.RipOffset)));
        uintptr_t target;
        return SafeRead(slot, &target, sizeof target) ? target : 0;
    }
    return 0;
}

bool CallsTerminate(uintptr_t code, int depth) {
    static const uintptr_t beginCatch = Symbol("__cxa_begin_catch");
    for (int i = 0; i < 16; ++i) {
        uint8_t bytes[16];
        const size_t readable = ReadableSize(code, sizeof bytes);
        TInstructionInfo info;
        if (readable == 0 || !SafeRead(code, bytes, readable) || !DecodeInstruction(bytes, readable, info))
            return false;
        bool isCall;
        if (const uintptr_t target = BranchTarget(code, bytes, info, isCall); target != 0) {
            const uintptr_t routine = ResolveImportJump(target);
            if (IsTerminateRoutine(routine))
                return true;
            if (isCall && routine == beginCatch && routine != 0) {
                code += info.Length;
                continue;
            }
            return depth == 0 && CallsTerminate(routine, depth + 1);
        }
        if (info.EndsFlow)
            return false;
        code += info.Length;
    }
    return false;
}

enum class TVerdict { None, Catch, CatchAll, Terminate };

bool TypeCatches(const std::type_info* catchType, const std::type_info* thrownType, const void* object) {
    if (thrownType == nullptr)
        return false;
    void* adjusted = const_cast<void*>(object);
    // A pointer is caught through the pointer value the object holds.
    if (thrownType->__is_pointer_p() && object != nullptr)
        adjusted = *static_cast<void* const*>(object);
    return catchType->__do_catch(thrownType, &adjusted, 1);
}

// Reads the frame's call-site entry and actions for the instruction pointer.
TVerdict ClassifyCxxFrame(_Unwind_Context* context, const std::type_info* thrownType, const void* object) {
    const auto* lsda = static_cast<const uint8_t*>(_Unwind_GetLanguageSpecificData(context));
    if (lsda == nullptr)
        return TVerdict::Terminate; // a frame with this personality but no data cannot be left
    const uintptr_t function = _Unwind_GetRegionStart(context);
    int before = 0;
    uintptr_t ip = _Unwind_GetIPInfo(context, &before);
    if (!before)
        --ip;
    const uint8_t* p = lsda;
    uintptr_t landingPadBase = function;
    const uint8_t lpEncoding = *p++;
    if (lpEncoding != EncOmit && !ReadEncoded(p, lpEncoding, function, landingPadBase))
        return TVerdict::Catch;
    const uint8_t typeEncoding = *p++;
    const uint8_t* typeBase = nullptr;
    if (typeEncoding != EncOmit) {
        const uint64_t offset = ReadULEB(p);
        typeBase = p + offset;
    }
    const uint8_t siteEncoding = *p++;
    const uint64_t siteTableLength = ReadULEB(p);
    const uint8_t* actions = p + siteTableLength;
    while (p < actions) {
        uintptr_t start, length, landingPad;
        if (!ReadEncoded(p, siteEncoding, 0, start) || !ReadEncoded(p, siteEncoding, 0, length) ||
            !ReadEncoded(p, siteEncoding, 0, landingPad))
            return TVerdict::Catch;
        const uint64_t action = ReadULEB(p);
        if (ip < function + start)
            break;
        if (ip >= function + start + length)
            continue;
        if (landingPad == 0 || action == 0)
            return TVerdict::None;
        const uint8_t* record = actions + action - 1;
        for (;;) {
            const int64_t filter = ReadSLEB(record);
            const uint8_t* next = record;
            const int64_t displacement = ReadSLEB(record);
            if (filter > 0 && typeBase != nullptr) {
                const size_t size = EncodedSize(typeEncoding);
                if (size == 0)
                    return TVerdict::Catch;
                const uint8_t* entry = typeBase - uint64_t(filter) * size;
                uintptr_t type;
                if (!ReadEncoded(entry, typeEncoding, function, type))
                    return TVerdict::Catch;
                if (type == 0) {
                    return LandingPadTerminates(landingPadBase + landingPad) ? TVerdict::Terminate
                                                                             : TVerdict::CatchAll;
                }
                if (TypeCatches(reinterpret_cast<const std::type_info*>(type), thrownType, object))
                    return TVerdict::Catch;
            } else if (filter < 0 && typeBase != nullptr) {
                // A dynamic throw() list: an empty one, or one that does not name the type, ends the
                // program.
                const uint8_t* list = typeBase + uint64_t(-filter - 1);
                bool allowed = false;
                for (uint64_t index = ReadULEB(list); index != 0; index = ReadULEB(list)) {
                    const size_t size = EncodedSize(typeEncoding);
                    const uint8_t* entry = typeBase - index * size;
                    uintptr_t type;
                    if (size != 0 && ReadEncoded(entry, typeEncoding, function, type) && type != 0 &&
                        TypeCatches(reinterpret_cast<const std::type_info*>(type), thrownType, object))
                        allowed = true;
                }
                if (!allowed)
                    return TVerdict::Terminate;
            }
            if (displacement == 0)
                return TVerdict::None;
            record = next + displacement;
        }
    }
    return TVerdict::Terminate; // no call-site entry: the runtime terminates (a noexcept function)
}

struct TSearchState {
    _Unwind_Exception* Exception = nullptr;
    uintptr_t RaiseReturn = 0;
    bool Started = false;
    const std::type_info* ThrownType = nullptr;
    const void* Object = nullptr;
    THandlerSearchResult Result;
    bool Done = false;
};

_Unwind_Reason_Code SearchFrame(_Unwind_Context* context, void* argument) {
    auto& s = *static_cast<TSearchState*>(argument);
    const uintptr_t ip = _Unwind_GetIP(context);
    if (ip == 0)
        return _URC_END_OF_STACK;
    if (!s.Started) {
        if (ip != s.RaiseReturn)
            return _URC_NO_REASON;
        s.Started = true;
    }
    dwarf_eh_bases bases;
    const void* fde = _Unwind_Find_FDE(reinterpret_cast<void*>(ip - 1), &bases);
    if (fde == nullptr)
        return _URC_NO_REASON;
    const TPersonality personality = PersonalityOf(static_cast<const uint8_t*>(fde));
    if (personality == nullptr)
        return _URC_NO_REASON;
    const _Unwind_Reason_Code code =
        personality(1, _UA_SEARCH_PHASE, s.Exception->exception_class, s.Exception, context);
    if (code == _URC_CONTINUE_UNWIND)
        return _URC_NO_REASON;
    if (code != _URC_HANDLER_FOUND) {
        s.Done = true; // the runtime's own search fails here too
        return _URC_END_OF_STACK;
    }
    TVerdict verdict = TVerdict::CatchAll; // another language's handler
    if (reinterpret_cast<uintptr_t>(personality) == CxxPersonality())
        verdict = ClassifyCxxFrame(context, s.ThrownType, s.Object);
    switch (verdict) {
    case TVerdict::None:
        return _URC_NO_REASON;
    case TVerdict::Terminate:
        s.Done = true;
        return _URC_END_OF_STACK;
    case TVerdict::Catch:
    case TVerdict::CatchAll:
        if (IsLastChance(_Unwind_GetRegionStart(context))) {
            // A thread's last resort: the first handler makes it the thread wrapper's report, and it ends
            // the count of any handler found below it.
            if (s.Result.Count == 0)
                s.Result = {false, 2, 0};
            s.Done = true;
            return _URC_END_OF_STACK;
        }
        if (s.Result.Count++ == 0) {
            s.Result.Handled = true;
            s.Result.Kind = verdict == TVerdict::CatchAll ? 1 : 2;
        }
        return _URC_NO_REASON;
    }
    return _URC_NO_REASON;
}

struct TSiteState {
    uintptr_t RaiseReturn = 0;
    bool Started = false;
    TModuleHandle RuntimeModule = 0;
    uintptr_t LastCfa = 0;
    TRaiseSite* Site = nullptr;
    bool Found = false;
};

_Unwind_Reason_Code SiteFrame(_Unwind_Context* context, void* argument) {
    auto& s = *static_cast<TSiteState*>(argument);
    const uintptr_t ip = _Unwind_GetIP(context);
    if (ip == 0)
        return _URC_END_OF_STACK;
    if (!s.Started) {
        if (ip != s.RaiseReturn)
            return _URC_NO_REASON;
        s.Started = true;
        s.RuntimeModule = FindModuleOfAddress(ip);
        // A runtime linked into the program itself: the raise routine's caller is the raising code.
        if (s.RuntimeModule == OwnModuleHandle())
            s.RuntimeModule = 0;
        s.LastCfa = _Unwind_GetCFA(context);
        return _URC_NO_REASON;
    }
    if (s.RuntimeModule != 0 && FindModuleOfAddress(ip) == s.RuntimeModule) {
        s.LastCfa = _Unwind_GetCFA(context);
        return _URC_NO_REASON;
    }
    s.Site->Address = ip;
    s.Site->StackPointer = s.LastCfa;
    s.Site->FramePointer = _Unwind_GetGR(context, 6);
    s.Site->Rbx = _Unwind_GetGR(context, 3);
    s.Found = true;
    return _URC_END_OF_STACK;
}

} // namespace

const void* ThrownObject(const _Unwind_Exception* exception, const std::type_info** type) {
    if (type != nullptr)
        *type = nullptr;
    if (exception == nullptr)
        return nullptr;
    const auto* header = reinterpret_cast<const TCxaException*>(reinterpret_cast<const uint8_t*>(exception) -
                                                                offsetof(TCxaException, UnwindHeader));
    const void* object;
    if (exception->exception_class == GnuCxxClass) {
        object = exception + 1;
    } else if (exception->exception_class == GnuCxxDependentClass) {
        object = reinterpret_cast<const TCxaDependentException*>(header)->PrimaryException;
        header = reinterpret_cast<const TCxaException*>(object) - 1;
    } else {
        return nullptr;
    }
    if (type != nullptr)
        *type = header->ExceptionType;
    return object;
}

bool FindRaiseSite(uintptr_t raiseReturnAddress, TRaiseSite& site) {
    TSiteState state;
    state.RaiseReturn = raiseReturnAddress;
    state.Site = &site;
    _Unwind_Backtrace(SiteFrame, &state);
    return state.Found;
}

THandlerSearchResult SearchHandlers(_Unwind_Exception* exception, uintptr_t raiseReturnAddress) {
    TSearchState state;
    state.Exception = exception;
    state.RaiseReturn = raiseReturnAddress;
    state.Object = ThrownObject(exception, &state.ThrownType);
    _Unwind_Backtrace(SearchFrame, &state);
    return state.Result;
}

void RegisterLastChanceHandler(uintptr_t routine) {
    std::lock_guard guard(gLastChanceLock);
    if (std::find(gLastChance.begin(), gLastChance.end(), routine) == gLastChance.end())
        gLastChance.push_back(routine);
}

void UnregisterLastChanceHandler(uintptr_t routine) {
    std::lock_guard guard(gLastChanceLock);
    std::erase(gLastChance, routine);
}

bool LandingPadTerminates(uintptr_t landingPad) {
    return CallsTerminate(landingPad, 0);
}

} // namespace reporter
