-- Ardour 7, headless (ardour7-lua), Dummy backend: a sine plays through the
-- plug-in with the program "Gated" while the Lua API reads its band meters,
-- the LV2 output ports level_k and gain_k, as Ardour holds them.
--
-- Environment: H_DIR (session folder), H_PLUGIN (the plug-in's URI),
-- H_TYPE ("LV2"), H_FREQ (the tone's frequency, at the centre of band H_BAND).
local dir, plugin, kind = os.getenv ("H_DIR"), os.getenv ("H_PLUGIN"), os.getenv ("H_TYPE")
local freq, band = tonumber (os.getenv ("H_FREQ")), tonumber (os.getenv ("H_BAND"))

function fail (what) print ("FAIL: " .. what); error (what) end

ARDOUR.config ():set_hide_dummy_backend (false)
if not AudioEngine:set_backend ("None (Dummy)", "", "") then fail ("no Dummy backend") end
if not create_session (dir, "meters", 48000) then fail ("cannot create the session") end

local track = Session:new_audio_track (2, 2, nil, 1, "t", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front ()
function insert (proc, at, what)
	if proc:isnil () then fail ("cannot load " .. what) end
	if track:add_processor_by_index (proc, at, nil, true) ~= 0 then fail ("cannot insert " .. what) end
	return proc
end
local tone = insert (ARDOUR.LuaAPI.new_luaproc (Session, "Halvorine Tone"), 0, "the tone script")
ARDOUR.LuaAPI.set_processor_param (tone, 0, freq)
local proc = insert (ARDOUR.LuaAPI.new_plugin (Session, plugin, ARDOUR.PluginType[kind], ""), 1, plugin)
local plug = proc:to_insert ():plugin (0)
local gated = plug:preset_by_label ("Gated")
if not gated or not plug:load_preset (gated) then fail ("cannot load the program Gated") end

-- The output parameters by their names, "Band k Level" and "Band k Gain".
local meter = {}
for n = 0, plug:parameter_count () - 1 do
	local port, ok = plug:nth_parameter (n, true)
	if ok and not plug:parameter_is_input (port) then
		local _, d = plug:get_parameter_descriptor (port, ARDOUR.ParameterDescriptor ())
		meter[d[2].label] = n
	end
end
function read (k, what)
	local n = meter[string.format ("Band %d %s", k, what)]
	if not n then fail (string.format ("no output Band %d %s", k, what)) end
	local v, ok = ARDOUR.LuaAPI.get_processor_param (proc, n, true)
	if not ok then fail ("cannot read an output") end
	return v
end

Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
for _ = 1, 3000 do
	if Session:transport_sample () >= 48000 then break end
	ARDOUR.LuaAPI.usleep (10000)
end
if Session:transport_sample () < 48000 then fail ("the transport did not roll") end
-- Read while it plays; every band, twice, a quarter of a second apart.
local level, gain = {}, {}
for pass = 1, 2 do
	for k = 1, 16 do
		level[k], gain[k] = read (k, "Level"), read (k, "Gain")
		if pass == 2 then print (string.format ("band %2d level %.6f gain %.6f", k, level[k], gain[k])) end
		if not (level[k] >= 0 and level[k] <= 1) then fail (string.format ("band %d's level %g is out of 0..1", k, level[k])) end
		if not (gain[k] >= 0 and gain[k] <= 1) then fail (string.format ("band %d's gain %g is out of 0..1", k, gain[k])) end
	end
	ARDOUR.LuaAPI.usleep (250000)
end
Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)

-- The tone's band is the loudest and passes (about) all of itself; a band
-- far below it, with next to nothing of the tone, is cut (the gate cuts a
-- band at 0.001).
local loudest, closed = 1, nil
for k = 1, 16 do
	if level[k] > level[loudest] then loudest = k end
	if gain[k] <= 0.001 and k <= band - 4 then closed = k end
end
if loudest ~= band then fail (string.format ("band %d is the loudest, not the tone's band %d", loudest, band)) end
if not (gain[band] >= 0.9) then fail (string.format ("the tone's band passes %g of itself", gain[band])) end
if not (level[band] > 0.01) then fail (string.format ("the tone's band shows level %g", level[band])) end
if not closed then fail ("no band far below the tone is closed") end
print (string.format ("OK: %s meters the tone in band %d (level %.4f, gain %.3f), band %d closed", plugin, band, level[band], gain[band], closed))
