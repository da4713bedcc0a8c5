#pragma once
#include <string>

/* Joins path components: `first`, then each further component preceded by "/", up to
 * the null pointer that ends the list. The separator is always inserted, even beside
 * one the component already has ("a/" + "b" = "a//b"). No length limit. */
std::string BuildPath(const char* first, ...);
