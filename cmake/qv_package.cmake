# The product package: every file it installs is either a real target of this build
# or a stand-in made from one template with the version that file must carry.
# A stand-in folder under sim/ that builds a real module names it here, with the
# WiX include that registers what the module serves (placed inside its component;
# the file's id in the package is "f_" followed by its file name).
function(qv_package_module file_name target)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "REGISTRY" "")
  set_property(GLOBAL PROPERTY "QV_PACKAGE_TARGET_${file_name}" ${target})
  set_property(GLOBAL PROPERTY "QV_PACKAGE_REGISTRY_${file_name}" "${arg_REGISTRY}")
endfunction()
