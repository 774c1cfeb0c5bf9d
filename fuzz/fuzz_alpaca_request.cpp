// The Alpaca request router and form parser on arbitrary requests. The input
// is "METHOD\npath\nquery\nbody": the three first lines, then the rest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "api_request.h"
#include "request_router.h"

using namespace celaris::alpaca;

namespace {
std::string_view NextLine(std::string_view& rest) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    ApiRequest request;
    request.method = std::string(NextLine(rest));
    request.path = std::string(NextLine(rest));
    request.query = std::string(NextLine(rest));
    request.body = std::string(rest);
    (void)Route(request);
    const FormFields fields = FormFields::Parse(request.body);
    (void)fields.Find("ClientID", true);
    (void)fields.Find("RightAscension", false);
    return 0;
}
