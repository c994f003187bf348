# Read by cpack before it builds the package.
foreach(tool dpkg-shlibdeps file)
  find_program(found_${tool} ${tool})
  if(NOT found_${tool})
    message(FATAL_ERROR "cpack needs ${tool} to find the package's dependencies: "
      "install the Debian packages dpkg-dev and file (scripts/package.sh does)")
  endif()
endforeach()
