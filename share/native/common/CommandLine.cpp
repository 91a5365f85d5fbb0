#include "CommandLine.h"

#include <algorithm>

namespace CommandLine {

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Where the program name ends: after its closing quote, or at the first blank.
size_t programNameEnd(const tstring& line) {
    if (!line.empty() && line[0] == L'"') {
        const size_t closing = line.find(L'"', 1);
        return closing == tstring::npos ? line.size() : closing + 1;
    }
    size_t end = 0;
    while (end < line.size() && !isBlank(line[end])) {
        ++end;
    }
    return end;
}

size_t skipBlanks(const tstring& line, size_t position) {
    while (position < line.size() && isBlank(line[position])) {
        ++position;
    }
    return position;
}

} // namespace

tstring programName(const tstring& commandLine) {
    const size_t end = programNameEnd(commandLine);
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const bool closed = end > 1 && commandLine[end - 1] == L'"';
        return commandLine.substr(1, end - (closed ? 2 : 1));
    }
    return commandLine.substr(0, end);
}

tstring argumentsText(const tstring& commandLine) {
    return commandLine.substr(skipBlanks(commandLine, programNameEnd(commandLine)));
}

tstring_array splitArguments(const tstring& commandLine) {
    tstring_array arguments;
    const size_t size = commandLine.size();
    size_t i = skipBlanks(commandLine, programNameEnd(commandLine));
    while (i < size) {
        tstring argument;
        bool quoted = false;
        while (i < size && (quoted || !isBlank(commandLine[i]))) {
            if (commandLine[i] == L'\\') {
                size_t run = 0;
                while (i + run < size && commandLine[i + run] == L'\\') {
                    ++run;
                }
                i += run;
                // Backslashes are halved only in front of a quote, and an odd
                // one out makes that quote a character.
                if (i < size && commandLine[i] == L'"') {
                    argument.append(run / 2, L'\\');
                    if (run % 2 == 1) {
                        argument += L'"';
                        ++i;
                    }
                } else {
                    argument.append(run, L'\\');
                }
                continue;
            }
            if (commandLine[i] == L'"') {
                // A doubled quote inside quotes is a quote, and the quoted
                // part ends with it.
                if (quoted && i + 1 < size && commandLine[i + 1] == L'"') {
                    argument += L'"';
                    ++i;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            argument += commandLine[i++];
        }
        arguments.push_back(argument);
        i = skipBlanks(commandLine, i);
    }
    return arguments;
}

namespace {

// msiexec's reading of the whole line; `endsQuoted` tells whether the last
// token's quoted part was left open.
tstring_array readAsMsiexec(const tstring& arguments, bool& endsQuoted) {
    tstring_array tokens;
    endsQuoted = false;
    const size_t size = arguments.size();
    size_t i = skipBlanks(arguments, 0);
    while (i < size) {
        tstring token;
        bool quoted = false;
        for (; i < size && (quoted || !isBlank(arguments[i])); ++i) {
            if (arguments[i] != L'"') {
                token += arguments[i];
            } else if (quoted && i + 1 < size && arguments[i + 1] == L'"') {
                token += L'"';
                ++i;
            } else {
                quoted = !quoted;
            }
        }
        tokens.push_back(token);
        endsQuoted = quoted;
        i = skipBlanks(arguments, i);
    }
    return tokens;
}

} // namespace

tstring_array msiexecTokens(const tstring& arguments) {
    bool endsQuoted = false;
    return readAsMsiexec(arguments, endsQuoted);
}

bool setsProperty(const tstring& arguments, const tstring& name) {
    const tstring_array tokens = msiexecTokens(arguments);
    return std::any_of(tokens.begin(), tokens.end(), [&](const tstring& token) {
        return token.size() > name.size() && token[name.size()] == L'=' &&
               tstrings::startsWith(token, name, tstrings::IgnoreCase);
    });
}

bool endsInsideQuotes(const tstring& arguments) {
    bool endsQuoted = false;
    readAsMsiexec(arguments, endsQuoted);
    return endsQuoted;
}

} // namespace CommandLine
