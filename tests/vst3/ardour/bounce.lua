-- Ardour 7, headless (ardour7-lua), Dummy backend: loads a VST3 plug-in on
-- a stereo track fed by the test signal, sets parameters, bounces, saves
-- and reloads the session and reads the values back.
--
-- Arguments come in the environment: H_DIR (session folder), H_PLUGIN (the
-- plug-in's name), H_RATE, H_FRAMES, H_SET ("index=value,..."), H_OUT (a
-- file that gets the bounced sources' paths, left then right).
local dir, plugin = os.getenv ("H_DIR"), os.getenv ("H_PLUGIN")
local rate, frames = tonumber (os.getenv ("H_RATE")), tonumber (os.getenv ("H_FRAMES"))
local settings = {}
for i, v in string.gmatch (os.getenv ("H_SET") or "", "(%d+)=([%d%.]+)") do
	settings[#settings + 1] = { tonumber (i), tonumber (v) }
end

-- An error ends the script, and with it the interpreter.
function fail (what) print ("FAIL: " .. what); error (what) end

ARDOUR.config ():set_hide_dummy_backend (false)
if not AudioEngine:set_backend ("None (Dummy)", "", "") then fail ("no Dummy backend") end
local s = create_session (dir, "h", rate)
if not s then fail ("cannot create the session") end

local tracks = Session:new_audio_track (2, 2, nil, 1, "gate", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local track = tracks:front ()

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

-- The host's first bounce in a process differs slightly for its own
-- reasons: one pass-through bounce first, then a fresh signal.
local gen = signal_first ()
bounce ("warmup")
track:remove_processor (gen, nil, true)

local proc = ARDOUR.LuaAPI.new_plugin (Session, plugin, ARDOUR.PluginType.VST3, "")
if proc:isnil () then fail ("cannot load " .. plugin) end
if track:add_processor_by_index (proc, 0, nil, true) ~= 0 then fail ("cannot insert " .. plugin) end
for _, kv in ipairs (settings) do
	if not ARDOUR.LuaAPI.set_processor_param (proc, kv[1], kv[2]) then fail ("cannot set parameter " .. kv[1]) end
end
-- Values set while the plug-in runs glide there as automation does, from
-- whichever block the idle engine ran last; activated again, as a session
-- that loads starts it, the plug-in starts at them at once and from
-- silence, as the render it is compared with does.
proc:deactivate ()
proc:activate ()
-- The signal script counts its samples from its first run, and the idle
-- engine may run it before the bounce does: it goes in last, in front of
-- the plug-in, right before the bounce.
gen = signal_first ()

local r = bounce ("gated")
local ar = r:to_audioregion ()
local out = io.open (os.getenv ("H_OUT"), "w")
for c = 0, ar:n_channels () - 1 do
	out:write (r:source (c):to_filesource ():path () .. "\n")
end
out:close ()

Session:save_state ("", false, false, false, false, false)
close_session ()
if not load_session (dir, "h") then fail ("cannot reload the session") end
local back = Session:route_by_name ("gate"):nth_plugin (1)
if back:isnil () then fail ("the plug-in is gone after reloading") end
for _, kv in ipairs (settings) do
	local value = ARDOUR.LuaAPI.get_processor_param (back, kv[1], true)
	if math.abs (value - kv[2]) > 1e-6 then
		fail (string.format ("parameter %d is %g after reloading, not %g", kv[1], value, kv[2]))
	end
end
print ("OK: " .. plugin .. " bounced and reloaded")
-- The interpreter closes the session as it ends (quit () from a script
-- that loaded a session can hang it).
