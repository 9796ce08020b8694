# Writes OUT, the page's brevox.js: the worker's code, the files ENGINE (the
# binding's emscripten output) and LOOP (web/worker.js) one after the other,
# as the string constant BrevoxWorkerSource, followed by PROXY (web/engine.js),
# which starts a worker from that text. As text in a script the page loads,
# the worker starts from disk (file://) as well as from a server.
#   cmake -DENGINE=... -DLOOP=... -DPROXY=... -DOUT=... -P embed.cmake
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
