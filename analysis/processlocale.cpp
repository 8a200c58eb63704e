#include "analysis/processlocale.h"

#include <QHashFunctions>

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <string>
#include <strings.h>

namespace quillet {

namespace {

bool CharacterTypeIsUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
}

// Every category but LC_CTYPE, by the names the environment gives them.
constexpr const char* kOtherCategories[] = {"LC_COLLATE",   "LC_MONETARY",    "LC_NUMERIC",       "LC_TIME",
                                            "LC_MESSAGES",  "LC_PAPER",       "LC_NAME",          "LC_ADDRESS",
                                            "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION"};

} // namespace

void UseUtf8CharacterType()
{
    // What the Q*Application does first: the locale the environment names.
    const bool installed = std::setlocale(LC_ALL, "") != nullptr;
    if (installed && CharacterTypeIsUtf8())
        return;
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        return; // no UTF-8 locale on this system: nothing better to switch to
    // LC_ALL outranks LC_CTYPE, so its value moves to each other category.
    // Where the environment names a locale that is not installed the whole
    // setlocale fails and leaves "C" everywhere: each other category keeps
    // that.
    const char* all = std::getenv("LC_ALL");
    if (!installed || (all && *all)) {
        const std::string other = installed ? all : "C";
        for (const char* category : kOtherCategories)
            setenv(category, other.c_str(), 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
}

void UseReproducibleHashing()
{
    QHashSeed::setDeterministicGlobalSeed();
}

} // namespace quillet
