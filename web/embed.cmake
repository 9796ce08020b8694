# Makes two files of the page's sources, so that index.html opens from disk
# (file://) as well as from a server: a page opened from disk may start no
# worker from a file, and loads no JavaScript module.
#
# OUT, the page's brevox.js: the worker's code, the files ENGINE (the
# binding's emscripten output) and LOOP (web/worker.js) one after the other,
# as the string constant BrevoxWorkerSource, followed by PROXY (web/engine.js),
# which starts a worker from that text. As text in a script the page loads,
# the worker starts from disk as well as from a server.
#   cmake -DENGINE=... -DLOOP=... -DPROXY=... -DOUT=... -P embed.cmake
#
# OUT, the page's page.js: the files PARTS of folder DIR (names separated by
# commas) joined in their order, one script whose parts share its scope as
# separate scripts would.
#   cmake -DDIR=... -DPARTS=a.js,b.js -DOUT=... -P embed.cmake
if(DEFINED PARTS)
  string(REPLACE "," ";" parts "${PARTS}")
  string(REPLACE "," ", " names "${PARTS}")
  set(page "'use strict';\n// Made by the build from the page's parts in web/: ${names}.\n")
  foreach(part IN LISTS parts)
    file(READ ${DIR}/${part} text)
    string(APPEND page "\n// --- ${part} ---\n${text}")
  endforeach()
  file(WRITE ${OUT} "${page}")
  return()
endif()
file(READ ${ENGINE} engine)
file(READ ${LOOP} loop)
file(READ ${PROXY} proxy)
string(CONCAT source "${engine}" "\n" "${loop}")
# A JavaScript string literal: backslashes first, then what they escape.
string(REPLACE "\\" "\\\\" source "${source}")
string(REPLACE "\"" "\\\"" source "${source}")
string(REPLACE "\r" "\\r" source "${source}")
string(REPLACE "\n" "\\n" source "${source}")
file(WRITE ${OUT} "'use strict';\n// Made by the build from the binding, web/worker.js and web/engine.js.\n"
                  "const BrevoxWorkerSource = \"${source}\";\n\n${proxy}")
