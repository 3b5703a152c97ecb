#include "core/url_join.h"

namespace patcher {
namespace {

template <class Char>
std::basic_string<Char> Join(std::basic_string_view<Char> base_url,
                             std::basic_string_view<Char> name) {
    while (!base_url.empty() && base_url.back() == Char('/')) base_url.remove_suffix(1);
    std::basic_string<Char> url(base_url);
    url += Char('/');
    url += name;
    return url;
}

}  // namespace

std::string UrlJoin(std::string_view base_url, std::string_view name) {
    return Join(base_url, name);
}

std::wstring UrlJoin(std::wstring_view base_url, std::wstring_view name) {
    return Join(base_url, name);
}

}  // namespace patcher
