# Fails the configuration when a source of a layer includes a header of a
# layer above it: the arrows between layers point one way only.
function(brivos_layer_rank folder out)
  set(rank -1)
  set(i 0)
  foreach(layer ${BRIVOS_LAYERS})
    if(folder IN_LIST BRIVOS_LAYER_FOLDERS_${layer})
      set(rank ${i})
    endif()
    math(EXPR i "${i} + 1")
  endforeach()
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

function(brivos_check_layer layer)
  list(FIND BRIVOS_LAYERS ${layer} own)
  foreach(folder ${BRIVOS_LAYER_FOLDERS_${layer}})
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/brivos/${folder}/*.cpp
         ${PROJECT_SOURCE_DIR}/brivos/${folder}/*.hpp)
    foreach(file ${files})
      file(STRINGS ${file} includes REGEX "^#include \"brivos/[A-Za-z]+/")
      foreach(line ${includes})
        string(REGEX REPLACE "^#include \"brivos/([A-Za-z]+)/.*" "\\1" used "${line}")
        brivos_layer_rank(${used} rank)
        if(rank GREATER own OR rank EQUAL -1)
          message(FATAL_ERROR "${file}: layer '${layer}' may not include ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# Fails the configuration when a source outside database/ speaks a backend's
# own language: the records and managers reach the database through its seam
# only, so that a second backend is a folder under database/.
set(BRIVOS_BACKEND_WORDS "[Ss][Qq][Ll][Ii][Tt][Ee]|AUTOINCREMENT|COLLATE NOCASE|julianday"
    "|BEGIN IMMEDIATE|PRAGMA|last_insert_rowid|LastInsertId|journal_mode")
string(JOIN "" BRIVOS_BACKEND_WORDS ${BRIVOS_BACKEND_WORDS})

function(brivos_check_backend_words)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/brivos/*.cpp
       ${PROJECT_SOURCE_DIR}/brivos/*.hpp)
  foreach(file ${files})
    if(file MATCHES "/brivos/database/")
      continue()
    endif()
    file(STRINGS ${file} found REGEX "${BRIVOS_BACKEND_WORDS}")
    if(found)
      list(GET found 0 line)
      message(FATAL_ERROR "${file}: a backend's own word outside database/: ${line}")
    endif()
  endforeach()
endfunction()
