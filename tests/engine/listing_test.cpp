// The short and verbose listings and the member table they fill.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/support/zip_builder.h"

using namespace qeltest;

TEST(Listing, VerboseListsCorpusArchive) {
    RunResult r = run_engine({"unzip", "-v", corpus_path("SHRUNK.ZIP")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Shrunk"), std::string::npos) << r.out;
}
