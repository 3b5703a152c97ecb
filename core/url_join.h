// Where a release file lives on the server: the base URL without its trailing '/', then '/', then
// the file's name. The release tool writes addresses narrow, the patcher requests them wide; both
// form them here so that what is published is what is fetched.
#pragma once

#include <string>
#include <string_view>

namespace patcher {

std::string UrlJoin(std::string_view base_url, std::string_view name);
std::wstring UrlJoin(std::wstring_view base_url, std::wstring_view name);

}  // namespace patcher
