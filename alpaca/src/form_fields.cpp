#include "api_request.h"
#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

FormFields FormFields::Parse(std::string_view text) {
    FormFields f;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view pair = text.substr(start, end - start);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            f.fields_.emplace_back(alpaca_wire::DecodeFormField(pair.substr(0, eq)),
                                   eq == std::string_view::npos
                                       ? std::string()
                                       : alpaca_wire::DecodeFormField(pair.substr(eq + 1)));
        }
        start = end + 1;
    }
    return f;
}

const std::string* FormFields::Find(std::string_view key, bool anyCase) const {
    for (const auto& [k, v] : fields_)
        if (anyCase ? alpaca_wire::EqualsIgnoringCase(k, key) : k == key) return &v;
    return nullptr;
}

}  // namespace celaris::alpaca
