# SPDX-License-Identifier: GPL-3.0-or-later
# Checks po/zh_TW.po against the texts of the engine and of oru: msgfmt finds no fuzzy or
# untranslated text and no placeholder that differs from its original; every text wrapped in
# tr() or trn() is in the catalog, and the catalog holds no text the sources no longer use.
#   cmake -DSOURCE_DIR=<the repository> -DWORK_DIR=<a scratch folder> -P CheckCatalog.cmake
set(po ${SOURCE_DIR}/po/zh_TW.po)
set(pot ${WORK_DIR}/oru.pot)
file(GLOB sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/catalog/*.cpp ${SOURCE_DIR}/archive/*.cpp ${SOURCE_DIR}/cli/*.cpp)

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${SOURCE_DIR}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}\n${out}${err}")
  endif()
  set(output "${out}${err}" PARENT_SCOPE)
endfunction()

run(msgfmt --check --statistics -o /dev/null ${po})
if(output MATCHES "fuzzy|untranslated")
  message(FATAL_ERROR "po/zh_TW.po: ${output}")
endif()
run(xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=tr:1 --keyword=trn:1,2 --keyword=N_ -o ${pot} ${sources})
# Every text of the sources is translated in the catalog...
run(msgcmp ${po} ${pot})
# ...and every text of the catalog is used by the sources.
run(msgcmp --use-untranslated ${pot} ${po})

