# Includes point down only: fails, naming the file and line, when a source
# includes a folder its program may not depend on.
#
#   cmake -DSOURCE_DIR=<repo> "-DRULES=<folders>:<forbidden>;..." -P check-includes.cmake
#
# Each rule is "folder,folder,...:forbidden,forbidden,...": no .h, .cpp or
# .inc file under the folders includes a file under the forbidden ones.
foreach(rule IN LISTS RULES)
  string(REPLACE ":" ";" parts "${rule}")
  list(GET parts 0 folders)
  list(GET parts 1 forbidden)
  string(REPLACE "," ";" folders "${folders}")
  string(REPLACE "," "|" forbidden "${forbidden}")
  foreach(folder IN LISTS folders)
    file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp"
         "${SOURCE_DIR}/${folder}/*.inc")
    foreach(file IN LISTS files)
      file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](${forbidden})/")
      foreach(line IN LISTS lines)
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
        string(STRIP "${line}" line)
        list(APPEND violations "  ${shown}: ${line}")
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "An include points up: the core's folders and the fuzz targets never include "
                      "app/ or cli/, and the command line never includes app/.\n${text}")
endif()
