// The builder's catalogue is the template's name with ".INI" in place of its
// extension; Windows finds it whatever the letter case, and the shipped one
// is norvexflash.ini. When the exact name is missing but a file of that name
// in other letters is there, the logic is given the template through a
// private directory in which the exact name points at that file; paths in
// what it shows are given back their real directory.
#pragma once
#include <string>
#include <utility>

class CatalogueName {
  public:
    explicit CatalogueName(std::string templatePath) : template_(std::move(templatePath)) {}
    ~CatalogueName();
    CatalogueName(const CatalogueName&) = delete;
    CatalogueName& operator=(const CatalogueName&) = delete;

    // False with a sentence in *error when the private directory cannot be made.
    bool Prepare(std::string* error);
    // The template's path for the logic (its catalogue name then exists when
    // any spelling of it does).
    const std::string& TemplatePath() const { return staged_.empty() ? template_ : staged_; }
    // (private directory, the template's real directory); empty when unused.
    std::pair<std::string, std::string> Alias() const { return alias_; }

  private:
    void Remove();

    std::string template_, staged_, link_, dir_;
    std::pair<std::string, std::string> alias_;
};
