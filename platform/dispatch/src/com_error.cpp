#include "celaris/dispatch/com_error.h"

#include <new>

namespace celaris::dispatch {

ComError::ComError(HRESULT number, QString source, QString description, QString helpFile,
                   int32_t helpContext)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext),
      what_(description_.toStdString()) {}

void Raise(HRESULT number, const QString& source, const QString& description,
           const QString& helpFile, int32_t helpContext) {
    throw ComError(number, source, description, helpFile, helpContext);
}

ComError CurrentError(const QString& fallbackSource) {
    // Called outside a handler there is nothing to rethrow.
    if (!std::current_exception())
        return ComError(E_UNEXPECTED, fallbackSource, QStringLiteral("Unexpected failure."));
    try {
        throw;
    } catch (const ComError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return ComError(E_OUTOFMEMORY, fallbackSource, QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        return ComError(E_FAIL, fallbackSource, QString::fromUtf8(e.what()));
    } catch (...) {
        return ComError(E_FAIL, fallbackSource, QStringLiteral("Unexpected failure."));
    }
}

}  // namespace celaris::dispatch
