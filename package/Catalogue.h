// The builder's model catalogue (the INI file beside the executable):
// sections [MODEL00], [MODEL01], ... read in order until one is missing or
// incomplete. No window here; the caller shows the models.
#pragma once
#include <string>
#include <vector>

#include "platform/OsCalls.h"

// The six lists a read fills, one entry per section looked at.
struct CatalogueLists {
    std::vector<std::string>& model;
    std::vector<std::string>& inquiry;
    std::vector<std::string>& range;
    std::vector<std::string>& mask;
    std::vector<std::string>& vendor;
    std::vector<std::string>& note;
};

struct CatalogueRead {
    std::vector<std::string> items;  // the model list's line of each complete section
    bool incomplete = false;         // the read stopped at a section lacking a key
    std::string section;             // the last section looked at
    std::string missingKey;          // the first key that section lacks (value absent or FAIL)
    std::string afterGap;            // FindSectionAfterGap: a later section past a missing one
};

// Appends each section's six values to the lists (values of a complete
// section cut to 24 characters, the identification padded to 24; the values
// of the section the read stopped at as they were read).
CatalogueRead ReadCatalogue(OsCalls& os, const std::string& path, CatalogueLists lists);

// Where the read ended at a section without a Model value: the first later
// section that has one (the catalogue never reads it; a front end may say so).
void FindSectionAfterGap(OsCalls& os, const std::string& path, CatalogueRead& read);

// Why the read stopped where it did, in one sentence for a terminal: the key
// a section lacks, or a gap in the numbering that hides later sections.
// Empty when it ended after its last section with nothing left unread.
std::string CatalogueExplanation(const CatalogueRead& read);

// A regular file exists at the path.
bool CatalogueExists(const std::string& path);

// The working directory as the system reports it ("" when it cannot).
std::string WorkingDirectory(OsCalls& os);
