# Writes the desktop entry for the program installed under CMAKE_INSTALL_PREFIX (run by `cmake --install`,
# with HALCYRA_ENTRY_TEMPLATE, HALCYRA_BINDIR and HALCYRA_DATADIR set beforehand).
set(program "${CMAKE_INSTALL_PREFIX}/${HALCYRA_BINDIR}/Halcyra")

# The entry's string escape doubles every backslash.
string(REPLACE "\\" "\\\\" HALCYRA_TRY_EXEC "${program}")

# Exec holds the program quoted: inside the quotes a backslash, double quote, back quote or dollar sign is
# escaped with a backslash (itself doubled by the string escape), and a percent sign is doubled.
string(REPLACE "\\" "\\\\\\\\" quoted "${program}")
string(REPLACE "\"" "\\\\\"" quoted "${quoted}")
string(REPLACE "`" "\\\\`" quoted "${quoted}")
string(REPLACE "$" "\\\\$" quoted "${quoted}")
string(REPLACE "%" "%%" quoted "${quoted}")
set(HALCYRA_EXEC "\"${quoted}\"")

set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${HALCYRA_DATADIR}/applications/halcyra.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${HALCYRA_ENTRY_TEMPLATE}" "${entry}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
