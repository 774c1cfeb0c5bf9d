#include "celaris/dispatch/com_error.h"

namespace celaris {

ComError::ComError(int32_t number, QString source, QString description, QString helpFile,
                   int32_t helpContext)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext),
      what_(QStringLiteral("%1 (0x%2, %3)")
                .arg(description_)
                .arg(static_cast<uint32_t>(number_), 8, 16, QLatin1Char('0'))
                .arg(source_)
                .toStdString()) {}

void Raise(int32_t number, const QString& source, const QString& description,
           const QString& helpFile, int32_t helpContext) {
    throw ComError(number, source, description, helpFile, helpContext);
}

}  // namespace celaris
