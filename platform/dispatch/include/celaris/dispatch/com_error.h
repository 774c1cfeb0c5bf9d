// The one error type of the program: what a driver, the engine binding or the
// program itself raises, and what the hub's public members hand on to their
// clients unchanged (number, source, description, help file, help context).
#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "celaris/com/types.h"

namespace celaris::dispatch {

class ComError : public std::exception {
  public:
    ComError(HRESULT number, QString source, QString description, QString helpFile = {},
             int32_t helpContext = 0);

    // A COM-style HRESULT (0x80040402) or a plain automation number (1031).
    HRESULT number() const noexcept { return number_; }
    const QString& source() const noexcept { return source_; }
    const QString& description() const noexcept { return description_; }
    const QString& helpFile() const noexcept { return helpFile_; }
    int32_t helpContext() const noexcept { return helpContext_; }

    // The description, UTF-8.
    const char* what() const noexcept override { return what_.c_str(); }

    friend bool operator==(const ComError& a, const ComError& b) {
        return a.number_ == b.number_ && a.source_ == b.source_ &&
               a.description_ == b.description_ && a.helpFile_ == b.helpFile_ &&
               a.helpContext_ == b.helpContext_;
    }

  private:
    HRESULT number_;
    QString source_;
    QString description_;
    QString helpFile_;
    int32_t helpContext_;
    std::string what_;
};

// Raises the error to the caller of the current public member.
[[noreturn]] void Raise(HRESULT number, const QString& source, const QString& description,
                        const QString& helpFile = {}, int32_t helpContext = 0);

// Inside a catch block: the failure being handled as a ComError. A ComError
// comes back unchanged; any other failure becomes E_FAIL (E_OUTOFMEMORY for
// an allocation failure) with the given source and the failure's own text.
ComError CurrentError(const QString& fallbackSource);

// Runs fn and lets a ComError through unchanged; every other failure is
// turned into a ComError by CurrentError. Public members wrap their bodies in
// it so that a client only ever sees a ComError.
template <typename Fn>
decltype(auto) PassThrough(const QString& source, Fn&& fn) {
    try {
        return std::forward<Fn>(fn)();
    } catch (const ComError&) {
        throw;
    } catch (...) {
        throw CurrentError(source);
    }
}

// Plain error numbers (1 to 65535, such as 1031) reach a COM client with the
// control facility: 1031 -> 0x800A0407. Other numbers are HRESULTs already.
constexpr HRESULT ToHResult(HRESULT number) {
    return (number > 0 && number <= 0xFFFF) ? static_cast<HRESULT>(0x800A0000u | uint32_t(number))
                                            : number;
}
// The number an automation client reads back: 0x800A0407 -> 1031.
constexpr HRESULT ToAutomationNumber(HRESULT hr) {
    return (uint32_t(hr) & 0xFFFF0000u) == 0x800A0000u ? HRESULT(uint32_t(hr) & 0xFFFFu) : hr;
}

}  // namespace celaris::dispatch
