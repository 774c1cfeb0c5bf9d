// The one error type of the program: number, source, description, help file
// and help context, exactly as a COM error carries them.
#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

namespace celaris {

class ComError : public std::exception {
  public:
    ComError(int32_t number, QString source, QString description, QString helpFile = {},
             int32_t helpContext = 0);

    int32_t number() const { return number_; }
    const QString& source() const { return source_; }
    const QString& description() const { return description_; }
    const QString& helpFile() const { return helpFile_; }
    int32_t helpContext() const { return helpContext_; }
    const char* what() const noexcept override { return what_.c_str(); }

  private:
    int32_t number_;
    QString source_, description_, helpFile_;
    int32_t helpContext_;
    std::string what_;
};

[[noreturn]] void Raise(int32_t number, const QString& source, const QString& description,
                        const QString& helpFile = {}, int32_t helpContext = 0);

}  // namespace celaris
