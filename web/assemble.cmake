# cmake -DMODULE=queuecalc_web.js -DTEMPLATE=page.html -DSCRIPT=page.js
#       -DEXAMPLE=forecast.csv -DOUT=queuecalc.html -P assemble.cmake
# The page: the template with the example forecast, the module (its wasm
# inside) and the page's script put in place of their marks.
file(READ "${TEMPLATE}" page)
file(READ "${MODULE}" module)
file(READ "${SCRIPT}" script)
file(READ "${EXAMPLE}" example)
foreach(part module script example)
  string(FIND "${${part}}" "</script" closes)
  if(NOT closes EQUAL -1)
    message(FATAL_ERROR "${part} holds </script, which would end its script element early")
  endif()
endforeach()
string(REPLACE "<!-- the example forecast -->" "${example}" page "${page}")
string(REPLACE "<!-- the module -->" "<script>\n${module}\n</script>" page "${page}")
string(REPLACE "<!-- the page script -->" "${script}" page "${page}")
file(WRITE "${OUT}" "${page}")
