// The property table: one row per property, holding every fact the dispatcher needs to answer
// the host's info, get, set and remove requests for it (scopes, size, writability, the checks
// of a set, the functions, and what a change announces). The framework keeps one table for the
// properties it answers itself; a subclass adds rows, or overrides one of the framework's,
// through AUBase::FindOwnProperty. Host threads only: the render thread never looks a property
// up (it only announces one, through AUBase::PropertyChanged).
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <cstring>
#include <span>
#include <type_traits>

class AUBase;

// What a request names: which property, in which scope and element.
struct AUPropertyAddress {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
};

// The scopes a row answers in, one bit per scope number.
namespace AUScopes {
inline constexpr UInt8 kNone = 0;  // the row answers sets (and removes) only: info and get go to the virtuals
inline constexpr UInt8 kGlobal = 1u << kAudioUnitScope_Global;
inline constexpr UInt8 kInput = 1u << kAudioUnitScope_Input;
inline constexpr UInt8 kOutput = 1u << kAudioUnitScope_Output;
// Any scope number, 5 and above included: the row's own functions (and the element check)
// refuse what they cannot address, by throwing kAudioUnitErr_InvalidScope.
inline constexpr UInt8 kAny = 0xFF;
}  // namespace AUScopes

// What a change made through the row announces to the property listeners.
enum class AUNotify : UInt8 {
    kNone,
    kOnSet,           // the request's id, scope and element, after a successful set
    kOnSetAndRemove,  // the same, and after a successful remove
    kByFunction,      // the row's function announces: another property or element, or only a real change
};

// The size a set must carry; it is checked before anything else of the set.
struct AUSetSize {
    UInt32 bytes = 0;
    bool exact = false;
    constexpr bool Accepts(UInt32 size) const { return exact ? size == bytes : size >= bytes; }
};
constexpr AUSetSize Exactly(UInt32 bytes) { return {bytes, true}; }
constexpr AUSetSize AtLeast(UInt32 bytes) { return {bytes, false}; }

// One property. A missing function sends its request to the virtual operation of the same kind
// (GetPropertyInfo, GetProperty, SetProperty, RemovePropertyValue); a set that goes there is
// announced when it succeeds, whatever the row says.
//
// Info: a scope outside `scopes` answers kAudioUnitErr_InvalidScope; then `info`, when present,
// may refuse or compute the size and writability (else `size` and `writable` stand); then, when
// `checksElement`, a missing element answers kAudioUnitErr_InvalidElement (with the size and
// writability already filled in). A failure before that leaves the caller's words as they were.
// Set: `setSize` (kAudioUnitErr_InvalidPropertyValue), then `scopes` when `setChecksScope`
// (kAudioUnitErr_InvalidScope), then `set`; `notify` says what is announced.
struct AUPropertyRow {
    using Info = OSStatus (*)(AUBase &unit, AUPropertyAddress at, UInt32 &ioSize, Boolean &ioWritable);
    using Get = OSStatus (*)(AUBase &unit, AUPropertyAddress at, void *outData);
    using Set = OSStatus (*)(AUBase &unit, AUPropertyAddress at, const void *inData, UInt32 inDataSize);
    using Remove = OSStatus (*)(AUBase &unit, AUPropertyAddress at);

    AudioUnitPropertyID id;
    UInt8 scopes = AUScopes::kGlobal;
    UInt32 size = 0;
    bool writable = false;
    bool checksElement = false;
    Info info = nullptr;
    Get get = nullptr;
    AUSetSize setSize{};
    bool setChecksScope = false;
    Set set = nullptr;
    Remove remove = nullptr;
    AUNotify notify = AUNotify::kNone;

    constexpr bool Answers(AudioUnitScope scope) const {
        return scopes == AUScopes::kAny || (scope < 8 && (scopes >> scope & 1u) != 0);
    }
    constexpr bool AnnouncesSet() const { return notify == AUNotify::kOnSet || notify == AUNotify::kOnSetAndRemove; }
    constexpr bool AnnouncesRemove() const { return notify == AUNotify::kOnSetAndRemove; }
};

// The row for `id`, whatever its scopes; nullptr when the table has none.
constexpr const AUPropertyRow *AUFindPropertyRow(std::span<const AUPropertyRow> rows, AudioUnitPropertyID id) {
    for (const AUPropertyRow &row : rows)
        if (row.id == id) return &row;
    return nullptr;
}

// A subclass's lookup: the row for `id` only when it answers `scope`. A request in another scope
// goes on to the class below, as an override that answers some scopes passes the rest on.
constexpr const AUPropertyRow *AUFindPropertyRow(std::span<const AUPropertyRow> rows, AudioUnitPropertyID id,
                                                 AudioUnitScope scope) {
    const AUPropertyRow *row = AUFindPropertyRow(rows, id);
    return row != nullptr && row->Answers(scope) ? row : nullptr;
}

// What every table must be, checked where each is defined (static_assert): one row per id, no
// info or get in a row that answers no scope, and no set check or announcement without a function.
constexpr bool AUPropertyTableIsWellFormed(std::span<const AUPropertyRow> rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const AUPropertyRow &row = rows[i];
        for (size_t j = i + 1; j < rows.size(); ++j)
            if (rows[j].id == row.id) return false;
        if (row.scopes == AUScopes::kNone && (row.info != nullptr || row.get != nullptr)) return false;
        if (row.set == nullptr && (row.setChecksScope || row.setSize.bytes != 0)) return false;
        if (row.notify != AUNotify::kNone && row.set == nullptr && row.remove == nullptr) return false;
    }
    return true;
}

// Checks a table where it is defined: AU_CHECK_PROPERTY_TABLE(rows). GCC cannot compare a
// function's address with null in a constant expression once the undefined-behaviour sanitizer
// keeps null-pointer checks, so the sanitizer build leaves this check to the plain build.
#if defined(ZENTROVA_UNDEFINED_SANITIZER)
#define AU_CHECK_PROPERTY_TABLE(...) static_assert(true)
#else
#define AU_CHECK_PROPERTY_TABLE(...) static_assert(__VA_ARGS__)
#endif

namespace AUPropertyDetail {
// The class a member pointer belongs to (declared only, for decltype).
template <class Unit, class Member> Unit *ClassOf(Member Unit::*);
template <auto Member> using UnitOf = std::remove_pointer_t<decltype(ClassOf(Member))>;
}  // namespace AUPropertyDetail

// A get that copies out what a reader of the unit answers: AUGetValue<&AUBase::GetLatency>.
template <auto Read> OSStatus AUGetValue(AUBase &unit, AUPropertyAddress, void *outData) {
    const auto value = (static_cast<AUPropertyDetail::UnitOf<Read> &>(unit).*Read)();
    std::memcpy(outData, &value, sizeof value);
    return noErr;
}

// A flag as the 32-bit word 0 or 1.
template <auto Read> OSStatus AUGetFlag(AUBase &unit, AUPropertyAddress, void *outData) {
    const UInt32 value = (static_cast<AUPropertyDetail::UnitOf<Read> &>(unit).*Read)() ? 1 : 0;
    std::memcpy(outData, &value, sizeof value);
    return noErr;
}

// A flag set from a 32-bit word (any non-zero value is true); the row's set size is at least 4.
template <auto Write> OSStatus AUSetFlag(AUBase &unit, AUPropertyAddress, const void *inData, UInt32) {
    UInt32 value;
    std::memcpy(&value, inData, sizeof value);
    (static_cast<AUPropertyDetail::UnitOf<Write> &>(unit).*Write)(value != 0);
    return noErr;
}
