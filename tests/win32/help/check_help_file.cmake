# Reads the compiled help file back with chmls (Debian: fp-utils), as a user's help
# viewer would find it, and checks what it holds:
#  - the contents and the keyword index are in it, and every entry of both opens a page
#    that is in it;
#  - every page below is in it, is listed in the contents, has a title, and links only
#    to pages that are in it;
#  - each page explains what it must: the controls, parameters and units named for it;
#  - the parameter reference gives every parameter its range, step and default in one
#    row of its table.
#
#   cmake -DCHMLS=chmls -DHELP_FILE=TavelinqzMultiband.chm -DWORK_DIR=dir -P check_help_file.cmake

cmake_minimum_required(VERSION 3.20)

# page|term|term|...: every term must appear in the page's text.
set(expected_terms
  "index.html|five-band|crossover|Threshold|Ratio|Knee|Gain|Attack|Release|Type|Solo|Bypass|QFactor|TCR|Limit|Output gain|dB|ms|Hz|20 Hz to 20000 Hz|64-sample lookahead"
  "editor.html|Bypass|Undo|Setup A|Setup B|Reset|Presets|Help|band meters|threshold handle|Threshold|Solo|crossover graph|crossover frequency fields|compressor curve graph|band selector|band view|all-bands view|all-bands grid|over lamp|peak text|output meters"
  "commands.html|Bypass|Undo|Setup A|Setup B|Copy to B|Copy from B|Reset|Presets|Help|TavelinqzMultiband.chm|Threshold 0.0 dB|Ratio 1.0:1|Knee 10 dB|Attack 15.0 ms|Release 200 ms|80, 324, 1262 and 5024 Hz|Output gain 0.0 dB|Limit on"
  "band-meters.html|level bars|gain bar|threshold handle|Threshold|-60.0 dB|0.0 dB|0.1 dB|Ctrl|Double-click|Page Up|Page Down|Home|End|Left / Right|Wheel|Solo|Bypass"
  "crossover.html|crossover handle|18 Hz|22050 Hz|Gain|0.1 dB per pixel|-18.0 dB to +18.0 dB|Double-click|20 Hz and 20000 Hz|80 Hz, 324 Hz, 1262 Hz and 5024 Hz|1000 Hz|QFactor"
  "curve-graph.html|1:1|-60 dB|Threshold|Ratio|Knee|Type|Gain|1 dB per pixel|30 dB|Undo"
  "band-view.html|Band selector|Ratio|0.4:1 to 30.0:1|Knee|0 to 30 dB|Hard|Type|Normal|Vintage|Gain|-18.0 dB to +18.0 dB|Attack|0.0 ms to 400.0 ms|Release|1 ms to 4000 ms|slider|Double-click|Page Up|Home / End|Wheel"
  "all-bands.html|QFactor|0.50 to 1.50|TCR|ten times|Limit|64 samples|-0.1 dB|Output gain|-24.0 dB to +24.0 dB|all-bands grid|Ratio|Knee|Type|Gain|Attack|Release|Norm|Vint|Double-click"
  "output.html|Output meters|-60 dB to 0 dB|Peak text|-Inf|Click the peak text|Over lamp|Limit|Click the lamp"
  "entering-values.html|Threshold|Crossover|Ratio|Knee|Gain|Attack|Release|QFactor|Output gain|Dragging|Mouse wheel|Page Up|Home|End|Space|Double-click|Enter|Escape|15.0 ms|15 ms|12.3|decimal separator"
  "presets.html|Presets|Add Preset...|Update Preset|Preset Manager...|Preset Manager|Add...|Update...|Rename...|Delete|Import...|Export...|Save|Cancel|Move Preset|to Root|to New Bank...|qzMultibandDX.ini|bank"
  "parameters.html|53 parameters|Limiter|OutputGain|Freq 1|Threshold 1|Type 5")

# Rows of the parameter table: name|range|step|default, all in the same row.
set(expected_parameter_rows
  "Threshold|-60.0 to 0.0 dB|0.1 dB|0.0 dB"
  "Ratio|0.4:1 to 30.0:1|0.1|1.0:1"
  "Knee|0 (Hard) to 30 dB|1 dB|10 dB"
  "Gain (band make-up gain)|-18.0 to +18.0 dB|0.1 dB|0.0 dB"
  "Attack|0.0 to 400.0 ms|0.1 ms|15.0 ms"
  "Release|1 to 4000 ms|1 ms|200 ms"
  "Type|Normal or Vintage|Normal"
  "Solo|off or on|off"
  "Bypass (of a band)|off or on|off"
  "Crossover frequency|20 to 20000 Hz|2.3 %|80, 324, 1262, 5024 Hz"
  "QFactor|0.50 to 1.50|0.01|1.00"
  "TCR|off or on|off"
  "Limit|Limiter|off or on|on"
  "Output gain|OutputGain|-24.0 to +24.0 dB|0.1 dB|0.0 dB")

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

# The text a reader sees: tags dropped, entities decoded, white space collapsed.
function(visible_text html out)
  string(REGEX REPLACE "<[^>]*>" " " text "${html}")
  string(REPLACE "&nbsp;" " " text "${text}")
  string(REPLACE "&lt;" "<" text "${text}")
  string(REPLACE "&gt;" ">" text "${text}")
  string(REPLACE "&amp;" "&" text "${text}")
  string(REGEX REPLACE "[ \t\r\n]+" " " text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

foreach(variable CHMLS HELP_FILE WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_help_file.cmake needs -D${variable}=...")
  endif()
endforeach()
if(NOT EXISTS ${HELP_FILE})
  message(FATAL_ERROR "no help file at ${HELP_FILE}")
endif()

# What the file holds, as "/name" lines.
execute_process(COMMAND ${CHMLS} --no-page -n list ${HELP_FILE}
  RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "chmls could not list ${HELP_FILE}: ${errors}")
endif()
string(REGEX MATCHALL "\n/[^\n]*" names "\n${listing}")
string(REPLACE "\n/" "" names "${names}")

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CHMLS} --no-page extractall ${HELP_FILE} ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "chmls could not extract ${HELP_FILE}: ${errors}")
endif()

# The contents and the index: present, and every entry opens a page of the file.
foreach(navigation contents.hhc index.hhk)
  if(NOT navigation IN_LIST names)
    fail("${navigation} is missing")
    continue()
  endif()
  file(READ ${WORK_DIR}/${navigation} sitemap)
  string(REGEX MATCHALL "name=\"Local\" value=\"[^\"]*\"" targets "${sitemap}")
  if(NOT targets)
    fail("${navigation} has no entries")
  endif()
  foreach(target IN LISTS targets)
    string(REGEX REPLACE ".*value=\"([^\"#]*).*" "\\1" page "${target}")
    if(NOT page IN_LIST names)
      fail("${navigation} opens ${page}, which is not in the help file")
    endif()
  endforeach()
endforeach()
file(READ ${WORK_DIR}/contents.hhc contents)

foreach(entry IN LISTS expected_terms)
  string(REPLACE "|" ";" terms "${entry}")
  list(POP_FRONT terms page)
  if(NOT page IN_LIST names)
    fail("${page} is missing")
    continue()
  endif()
  if(NOT contents MATCHES "value=\"${page}\"")
    fail("${page} is not in the contents")
  endif()
  file(READ ${WORK_DIR}/${page} html)
  if(NOT html MATCHES "<title>[^<]+</title>")
    fail("${page} has no title")
  endif()
  string(REGEX MATCHALL "href=\"[^\"]*\"" links "${html}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "href=\"([^\"#]*).*" "\\1" linked "${link}")
    if(NOT linked IN_LIST names)
      fail("${page} links to ${linked}, which is not in the help file")
    endif()
  endforeach()
  visible_text("${html}" text)
  foreach(term IN LISTS terms)
    string(FIND "${text}" "${term}" at)
    if(at EQUAL -1)
      fail("${page} does not say \"${term}\"")
    endif()
  endforeach()
endforeach()

# Each row of the parameter table, on its own.
file(READ ${WORK_DIR}/parameters.html parameters)
string(REPLACE ";" "," parameters "${parameters}")
string(REPLACE "<tr>" ";" rows "${parameters}")
foreach(expected IN LISTS expected_parameter_rows)
  string(REPLACE "|" ";" cells "${expected}")
  list(GET cells 0 name)
  set(found FALSE)
  foreach(row IN LISTS rows)
    visible_text("${row}" text)
    string(FIND "${text}" " ${name} " at)
    if(NOT at EQUAL 0)
      continue()
    endif()
    set(found TRUE)
    foreach(cell IN LISTS cells)
      string(FIND "${text}" "${cell}" at)
      if(at EQUAL -1)
        fail("the parameter table's row of ${name} does not say \"${cell}\"")
      endif()
    endforeach()
  endforeach()
  if(NOT found)
    fail("the parameter table has no row for ${name}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "The help file ${HELP_FILE} is incomplete:\n${failures}")
endif()
message(STATUS "The help file holds every page, its contents and index, and what each page must say")
