#include "FigureFile.h"

#include <cctype>
#include <fstream>
#include <stdexcept>

namespace datatest {

namespace {

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t bar = line.find('|', start);
        parts.push_back(line.substr(start, bar - start));
        if (bar == std::string::npos) return parts;
        start = bar + 1;
    }
}

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

const std::string& FigureLine::Text(const std::string& key) const {
    const auto found = fields.find(key);
    if (found == fields.end()) throw std::runtime_error(section + " line has no field " + key);
    return found->second;
}

uint64_t FigureLine::Unsigned(const std::string& key) const {
    const std::string& text = Text(key);
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!hex && !AllDigits(text)) throw std::runtime_error(section + " field " + key + " is not a number: " + text);
    return std::stoull(text, nullptr, hex ? 16 : 10);
}

int64_t FigureLine::Signed(const std::string& key) const {
    const std::string& text = Text(key);
    if (!AllDigits(text[0] == '-' ? text.substr(1) : text))
        throw std::runtime_error(section + " field " + key + " is not a number: " + text);
    return std::stoll(text);
}

uint32_t FigureLine::TruncatedSeconds(const std::string& key) const {
    const std::string& text = Text(key);
    const std::string whole = text.substr(0, text.find('.'));
    if (!AllDigits(whole)) throw std::runtime_error(section + " field " + key + " is not a duration: " + text);
    return static_cast<uint32_t>(std::stoul(whole));
}

std::vector<const FigureLine*> FigureFile::Section(const std::string& section) const {
    std::vector<const FigureLine*> found;
    for (const FigureLine& line : lines)
        if (line.section == section) found.push_back(&line);
    return found;
}

const FigureLine& FigureFile::Single(const std::string& section) const {
    const auto found = Section(section);
    if (found.size() != 1)
        throw std::runtime_error(std::to_string(found.size()) + " " + section + " lines where one was expected");
    return *found.front();
}

FigureFile ReadFigureFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    FigureFile file;
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> parts = SplitFields(text);
        FigureLine line;
        line.section = parts[0];
        for (size_t i = 1; i < parts.size(); ++i) {
            const size_t equals = parts[i].find('=');
            if (equals == std::string::npos) throw std::runtime_error(path + ": field without '=': " + text);
            line.fields[parts[i].substr(0, equals)] = parts[i].substr(equals + 1);
        }
        file.lines.push_back(std::move(line));
    }
    return file;
}

}  // namespace datatest
