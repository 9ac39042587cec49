# The shortcut tests read the saved links back with lnkinfo, from Debian's
# liblnk-utils; it is installed first when it is missing.
add_test(NAME lnkinfo_available
  COMMAND sh -c "command -v lnkinfo >/dev/null && exit 0; \
sudo=''; [ \"$(id -u)\" -ne 0 ] && sudo=sudo; \
export DEBIAN_FRONTEND=noninteractive; \
$sudo apt-get install -y liblnk-utils || { $sudo apt-get update && $sudo apt-get install -y liblnk-utils; }")
set_tests_properties(lnkinfo_available PROPERTIES FIXTURES_SETUP lnkinfo)
foreach(reader installer_test host_test)
  if(TEST ${reader})
    set_tests_properties(${reader} PROPERTIES FIXTURES_REQUIRED lnkinfo)
  endif()
endforeach()
