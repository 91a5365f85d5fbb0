#include "ConsoleText.h"


namespace {

class StandardTextOutput : public TextOutput {
public:
    void write(const std::string& utf8) override {
        std::string text;
        text.reserve(utf8.size());
        for (const char c : utf8) {
            if (c == '\n') {
                text += textLineEnd;
            } else {
                text += c;
            }
        }
        writeOut(text);
    }
};

} // namespace

TextOutput& standardTextOutput() {
    static StandardTextOutput output;
    return output;
}
