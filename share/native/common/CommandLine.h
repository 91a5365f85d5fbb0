#pragma once

#include "tstrings.h"

// Reading a Windows command line. Nothing here asks the system: the texts are
// given, so that every rule can be tested on any line.
namespace CommandLine {

// The program name as the system reads it: in quotes, everything up to the
// closing quote; otherwise everything up to the first blank or tab. There are
// no escapes in a program name.
tstring programName(const tstring& commandLine);

// Everything after the program name and the blanks and tabs that follow it,
// exactly as it stands.
tstring argumentsText(const tstring& commandLine);

// The arguments after the program name, split by the rules of the C runtime
// and CommandLineToArgvW: blanks and tabs separate, double quotes group (a
// doubled one inside quotes is a quote and ends the group), a backslash
// escapes only where backslashes stand before a double quote.
tstring_array splitArguments(const tstring& commandLine);

// The arguments as msiexec reads them: blanks and tabs separate, double quotes
// group and are removed, and a doubled quote inside quotes is one quote. A
// backslash is an ordinary character.
tstring_array msiexecTokens(const tstring& arguments);

// Whether msiexec, reading `arguments` as msiexecTokens does, is given a
// value for the property `name`: a token that is the name, an "=" and the
// value (empty or not). msiexec reads property names on its command line
// as upper case, so the name is matched without regard to case.
bool setsProperty(const tstring& arguments, const tstring& name);

// Whether `arguments` end inside a quoted part, as msiexec reads them: text
// appended to them would become part of the last token.
bool endsInsideQuotes(const tstring& arguments);

} // namespace CommandLine
