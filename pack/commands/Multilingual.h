#pragma once

#include "PackageFacts.h"
#include "tstrings.h"

#include <cstdint>
#include <functional>

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

    // The package as a setup carries it unsigned, written through `out`
    // from the first byte to the last, never held whole; its size; and what
    // the installer's reader would read of it: the base's facts, but for the
    // Template and the PackageCode.
    void write(const std::function<void(const uint8_t*, size_t)>& out) const;
    uint64_t size() const;
    RawPackageFacts facts() const;

    struct Inputs;

private:
    std::unique_ptr<Inputs> inputs_;
};
