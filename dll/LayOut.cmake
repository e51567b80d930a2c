# Run at build time: place the settings file only where none exists yet, and
# make sure the default working folder is there.
if(NOT EXISTS "${TARGET}")
  get_filename_component(dir "${TARGET}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${SOURCE}" "${TARGET}")
endif()
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
