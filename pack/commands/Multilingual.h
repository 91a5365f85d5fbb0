#pragma once

#include "tstrings.h"

#include <memory>
#include <string>
#include <vector>

// The package of a multilingual setup: a base package with the transform to
// each of its language variants embedded (see MultilingualPackage). Every
// input is read and checked when the plan is made, before anything is
// written; each refusal is one sentence naming the file or the option.
class MultilingualPlan {
public:
    // `languages` as given to --language: a variant package, or
    // LANGID=FILE.mst for a transform made elsewhere. `output` is the setup
    // to be written, which none of them may be.
    MultilingualPlan(const tstring& base, const std::vector<tstring>& languages, const tstring& output);
    ~MultilingualPlan();

    MultilingualPlan(const MultilingualPlan&) = delete;
    MultilingualPlan& operator=(const MultilingualPlan&) = delete;

    bool baseSigned() const;
    // What the setup's list of languages holds: "1033,1031,1036".
    std::string languageList() const;
    // Writes the package; without the base's signature when `dropSignature`
    // (it is to be signed anew).
    void write(const tstring& path, bool dropSignature) const;

    struct Inputs;

private:
    std::unique_ptr<Inputs> inputs_;
};
