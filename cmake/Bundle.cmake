# The application bundle: a relocatable folder the build produces and the package installs.
set(QUORVELLE_BUNDLE_CONTENTS "${QUORVELLE_BUNDLE_DIR}/Contents")
configure_file("${CMAKE_SOURCE_DIR}/cmake/Info.plist.in" "${QUORVELLE_BUNDLE_CONTENTS}/Info.plist" @ONLY)

# Puts an executable target into the bundle folder (MacOS for the main program, Helpers for the rest).
function(quorvelle_bundle_executable target subdir)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${QUORVELLE_BUNDLE_CONTENTS}/${subdir}")
endfunction()
