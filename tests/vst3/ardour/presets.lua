-- Ardour 7, headless (ardour7-lua), Dummy backend: chooses each factory
-- program of a VST3 plug-in as Ardour's preset menu does (load_preset),
-- waits until Ardour's parameter values are the program's, checks that
-- Ardour still takes the preset as loaded (not "changed since"), and
-- bounces.
-- A plug-in that calls back into Ardour from inside load_preset can freeze
-- it there: the script prints a line before and after each load, and
-- run-ardour.sh times the gap.
--
-- Environment: H_DIR (session folder), H_PLUGIN, H_RATE, H_FRAMES,
-- H_PROGRAMS ("name=v0,v1,...;..." the programs and their values, in
-- parameter order), H_OUT (a file that gets, for each program, a line with
-- its name and the bounced sources' paths, left then right).
local dir, plugin = os.getenv ("H_DIR"), os.getenv ("H_PLUGIN")
local rate, frames = tonumber (os.getenv ("H_RATE")), tonumber (os.getenv ("H_FRAMES"))
local programs = {}
for name, list in string.gmatch (os.getenv ("H_PROGRAMS"), "([^=;]+)=([^;]+)") do
	local values = {}
	for v in string.gmatch (list, "[^,]+") do values[#values + 1] = tonumber (v) end
	programs[#programs + 1] = { name, values }
end

function fail (what) print ("FAIL: " .. what); error (what) end

ARDOUR.config ():set_hide_dummy_backend (false)
if not AudioEngine:set_backend ("None (Dummy)", "", "") then fail ("no Dummy backend") end
if not create_session (dir, "p", rate) then fail ("cannot create the session") end
local track = Session:new_audio_track (2, 2, nil, 1, "gate", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front ()

function signal_first ()
	local gen = ARDOUR.LuaAPI.new_luaproc (Session, "Halvorine Test Signal")
	if gen:isnil () then fail ("no test signal script") end
	track:add_processor_by_index (gen, 0, nil, true)
	return gen
end

function bounce (name)
	local r = track:bounce_range (0, frames, ARDOUR.InterThreadInfo (), track:main_outs (), false, name)
	if r:isnil () then fail ("bounce " .. name) end
	return r
end

-- As bounce.lua: one pass-through bounce first, then a fresh signal.
local gen = signal_first ()
bounce ("warmup")
local proc = ARDOUR.LuaAPI.new_plugin (Session, plugin, ARDOUR.PluginType.VST3, "")
if proc:isnil () then fail ("cannot load " .. plugin) end
if track:add_processor_by_index (proc, 1, nil, true) ~= 0 then fail ("cannot insert " .. plugin) end
local plug = proc:to_insert ():plugin (0)

-- Ardour learns of the values in its own time (the processor's output):
-- up to a second.
function values_are (values)
	for _ = 1, 100 do
		local same = true
		for i, v in ipairs (values) do
			if math.abs (ARDOUR.LuaAPI.get_processor_param (proc, i - 1, true) - v) > 1e-6 then same = false end
		end
		if same then return true end
		ARDOUR.LuaAPI.usleep (10000)
	end
	return false
end

-- Ardour's own mark of a preset changed since it was chosen, as its session
-- file keeps it. Saving also has the plug-in tell Ardour what it held back
-- (getState), after the mark is written: the second save shows the result.
function preset_changed ()
	for _ = 1, 2 do Session:save_state ("", false, false, false, false, false) end
	local file = io.open (dir .. "/p.ardour")
	local text = file:read ("a")
	file:close ()
	local mark = string.match (text, '<vst3 [^>]*parameter%-changed%-since%-last%-preset="(%d)"')
	if not mark then fail ("no preset mark in the session file") end
	return mark == "1"
end

local changed = {}
local out = io.open (os.getenv ("H_OUT"), "w")
for _, p in ipairs (programs) do
	local preset = plug:preset_by_label (p[1])
	if not preset then fail ("no preset " .. p[1]) end
	print ("loading " .. p[1]); io.stdout:flush ()
	if not plug:load_preset (preset) then fail ("load_preset " .. p[1]) end
	print ("loaded " .. p[1]); io.stdout:flush ()
	-- At once, as the timer of an open editor may, and once Ardour has
	-- the values.
	local at_once = preset_changed ()
	if not values_are (p[2]) then fail ("Ardour's values are not those of " .. p[1]) end
	if preset_changed () or at_once then changed[#changed + 1] = p[1] end
	track:remove_processor (gen, nil, true)
	gen = signal_first ()
	local r = bounce (p[1])
	out:write (p[1])
	for c = 0, r:to_audioregion ():n_channels () - 1 do
		out:write (" " .. r:source (c):to_filesource ():path ())
	end
	out:write ("\n")
end
out:close ()
if #changed > 0 then
	fail (#changed .. " of " .. #programs .. " programs shown as changed once chosen: " .. table.concat (changed, " "))
end
print ("OK: " .. plugin .. ": " .. #programs .. " programs loaded and bounced")
