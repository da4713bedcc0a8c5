#include "app/CSimpleOptTempl.h"

#include <cstring>

namespace {

size_t sHyphens(const char* text)
{
    size_t n = 0;
    while (text[n] == '-')
        ++n;
    return n;
}

} // namespace

CSimpleOptTempl::CSimpleOptTempl(int argc, char** argv, const SOption* options, int)
    : m_argc(argc), m_argv(argv), m_options(options), m_lastArg(argc)
{
}

// The option named by the first `length` characters of `name`, or null with m_error set.
const SOption* CSimpleOptTempl::Match(const char* name, size_t length)
{
    for (const SOption* o = m_options; o->nId != -1; ++o) {
        if (strlen(o->pszArg) == length && strncmp(o->pszArg, name, length) == 0)
            return o;
    }
    size_t hyphens = sHyphens(name);
    const SOption* found = nullptr;
    int matches = 0;
    if (hyphens < length) {
        for (const SOption* o = m_options; o->nId != -1; ++o) {
            size_t optionLength = strlen(o->pszArg);
            bool multiLetter = optionLength > sHyphens(o->pszArg) + 1;
            if (multiLetter && sHyphens(o->pszArg) == hyphens && optionLength > length &&
                strncmp(o->pszArg, name, length) == 0) {
                found = o;
                ++matches;
            }
        }
    }
    if (matches == 1)
        return found;
    m_error = matches > 1 ? SO_OPT_MULTIPLE : SO_OPT_INVALID;
    return nullptr;
}

// Stray words go behind the options, keeping the order of both.
void CSimpleOptTempl::MoveToEnd(int index)
{
    char* word = m_argv[index];
    memmove(&m_argv[index], &m_argv[index + 1], sizeof(char*) * static_cast<size_t>(m_argc - index - 1));
    m_argv[m_argc - 1] = word;
    --m_lastArg;
}

bool CSimpleOptTempl::Next()
{
    while (m_next < m_lastArg && m_argv[m_next][0] != '-')
        MoveToEnd(m_next);
    if (m_next >= m_lastArg)
        return false;

    char* word = m_argv[m_next++];
    m_error = SO_SUCCESS;
    m_id = -1;
    m_text = word;
    m_arg = nullptr;

    char* equals = strchr(word, '=');
    size_t nameLength = equals ? static_cast<size_t>(equals - word) : strlen(word);
    const SOption* option = Match(word, nameLength);
    if (!option)
        return true;
    m_id = option->nId;
    m_text = option->pszArg;
    if (equals)
        m_arg = equals + 1;

    if (option->nArgType == SO_NONE) {
        if (m_arg)
            m_error = SO_ARG_INVALID;
    } else if (!m_arg) {
        if (m_next >= m_lastArg)
            m_error = SO_ARG_MISSING;
        else if (m_argv[m_next][0] == '-')
            m_error = SO_ARG_INVALID_DATA;
        else
            m_arg = m_argv[m_next++];
    }
    return true;
}
