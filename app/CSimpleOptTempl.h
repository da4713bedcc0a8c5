#pragma once
#include <cstddef>

// Argument kinds of an option.
enum SOArgType {
    SO_NONE,     /* takes no argument; "-x=value" is an error */
    SO_REQ_SEP,  /* takes "-x value" or "-x=value" */
};

// Scanner errors reported by LastError().
enum ESOError {
    SO_SUCCESS = 0,
    SO_OPT_INVALID = -1,
    SO_OPT_MULTIPLE = -2,
    SO_ARG_INVALID = -3,
    SO_ARG_MISSING = -5,
    SO_ARG_INVALID_DATA = -6,
};

// One row of an option table; a table ends with a row whose id is -1.
struct SOption {
    int nId;
    const char* pszArg;
    SOArgType nArgType;
};

// Walks a command line over an option table. Options are matched case-sensitively by
// their whole text; an option of more than one letter also by a unique proper prefix
// ("-OV" for "-OVERRIDE"). One-letter options are never clumped and never take a glued
// argument. Words that are neither options nor option arguments are moved, in their
// order, behind the options: argv is rearranged in place.
class CSimpleOptTempl {
public:
    /* Scans argv[1] to argv[argc - 1] against `options`; `flags` must be 0. argv and the
     * table must outlive the scanner. */
    CSimpleOptTempl(int argc, char** argv, const SOption* options, int flags = 0);

    /* Advances to the next option; false when the words are exhausted. */
    bool Next();
    /* The error of the current option, SO_SUCCESS when it is usable. */
    ESOError LastError() const { return m_error; }
    /* The table id of the current option (-1 when the word selected none). */
    int OptionId() const { return m_id; }
    /* The table text of the selected option, else the word as typed. */
    const char* OptionText() const { return m_text; }
    /* The option's argument, or null. */
    char* OptionArg() const { return m_arg; }

private:
    const SOption* Match(const char* name, size_t length);
    void MoveToEnd(int index);

    int m_argc;
    char** m_argv;
    const SOption* m_options;
    int m_next = 1;
    int m_lastArg;
    ESOError m_error = SO_SUCCESS;
    int m_id = -1;
    const char* m_text = nullptr;
    char* m_arg = nullptr;
};
