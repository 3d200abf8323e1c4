# Fails when one of FILES (separated by commas) includes a header whose name matches PATTERN (a regular expression), and
# touches STAMP otherwise. Run in script mode by korva_forbid_includes().
string(REPLACE "," ";" FILES "${FILES}")
foreach(file IN LISTS FILES)
    file(STRINGS "${file}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${PATTERN})")
    if(hits)
        list(GET hits 0 hit)
        message(FATAL_ERROR "${file}: ${hit}\n${REASON}")
    endif()
endforeach()
file(TOUCH "${STAMP}")
