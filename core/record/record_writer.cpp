// SPDX-License-Identifier: MIT
// The choice of a record writer, by format or by a file name's extension.
#include "core/record_writer.h"

#include "core/record_writer_kinds.h"

#include <algorithm>
#include <cctype>

namespace core {

std::unique_ptr<RecordWriter> make_record_writer(RecordFormat format, RecordOutput& output)
{
    if (format == RecordFormat::Vcd)
        return make_vcd_writer(output);
    return make_line_writer(format, output);
}

std::optional<RecordFormat> record_format_for_file(std::string_view file_name)
{
    const auto dot = file_name.find_last_of('.');
    const auto separator = file_name.find_last_of("/\\");
    if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator))
        return std::nullopt;
    const std::string_view extension = file_name.substr(dot + 1);
    const auto is = [extension](std::string_view lower) {
        return std::equal(extension.begin(), extension.end(), lower.begin(), lower.end(),
            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    };
    if (is("csv"))
        return RecordFormat::Csv;
    if (is("vcd"))
        return RecordFormat::Vcd;
    if (is("txt"))
        return RecordFormat::Plain;
    return std::nullopt;
}

} // namespace core
