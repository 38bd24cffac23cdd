-- Ardour 7, headless (ardour7-lua), Dummy backend: a second track keys the
-- plug-in through its side-chain input. Track "gate" plays steady noise
-- into the plug-in and a probe; track "key" plays bursts of noise (the
-- first 6000 of every 24000 frames) into the plug-in's side-chain input
-- and nowhere else. With "Key" at "External", the probe must hear the
-- noise while the key sounds and silence once the gates have released.
--
-- Environment: H_DIR (session folder), H_PLUGIN (the plug-in's name or
-- URI), H_TYPE ("VST3" or "LV2").
local dir, plugin, kind = os.getenv ("H_DIR"), os.getenv ("H_PLUGIN"), os.getenv ("H_TYPE")

function fail (what) print ("FAIL: " .. what); error (what) end

ARDOUR.config ():set_hide_dummy_backend (false)
-- Without this preference Ardour gives a plug-in's side-chain pins no
-- input of their own (the editor's pin dialog adds one by hand).
ARDOUR.config ():set_setup_sidechain (true)
if not AudioEngine:set_backend ("None (Dummy)", "", "") then fail ("no Dummy backend") end
if not create_session (dir, "key", 48000) then fail ("cannot create the session") end

local tracks = Session:new_audio_track (2, 2, nil, 2, "t", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local gate, key = tracks:front (), tracks:back ()

function insert (route, proc, at, what)
	if proc:isnil () then fail ("cannot load " .. what) end
	if route:add_processor_by_index (proc, at, nil, true) ~= 0 then fail ("cannot insert " .. what) end
	return proc
end
function signal (route, bursts)
	local gen = insert (route, ARDOUR.LuaAPI.new_luaproc (Session, "Halvorine Key Signal"), 0, "the key signal script")
	ARDOUR.LuaAPI.set_processor_param (gen, 0, bursts and 1 or 0)
end
signal (gate, false)
signal (key, true)
local proc = insert (gate, ARDOUR.LuaAPI.new_plugin (Session, plugin, ARDOUR.PluginType[kind], ""), 1, plugin)
local probe = insert (gate, ARDOUR.LuaAPI.new_luaproc (Session, "Halvorine Level Probe"), 2, "the probe script")
-- "Gated": every band has a threshold, no attack, the shortest release.
local plug = proc:to_insert ():plugin (0)
local gated = plug:preset_by_label ("Gated")
if not gated or not plug:load_preset (gated) then fail ("cannot load the program Gated") end

-- The plug-in's key input, as Ardour sees it.
local insert_ = proc:to_plugininsert ()
local sc = insert_:sidechain_input ()
if sc:isnil () then fail (plugin .. " has no side-chain input in Ardour") end
local pins = sc:n_ports ():n_audio ()
print (string.format ("%s: %d side-chain pins, plug-in inputs %d", plugin, pins, insert_:natural_input_streams ():n_audio ()))
if pins < 1 then fail ("the side-chain input has no audio port") end

-- The key track feeds the side-chain and nothing else.
key:output ():disconnect_all (nil)
for c = 0, 1 do
	if key:output ():nth (c):connect (sc:nth (c % pins):name ()) ~= 0 then fail ("cannot connect the key track") end
end

-- "Key" is the plug-in's last choice, "External", at its parameter's top.
local found = nil
for n = 0, plug:parameter_count () - 1 do
	local port, ok = plug:nth_parameter (n, true)
	if ok and plug:parameter_is_input (port) then
		local _, d = plug:get_parameter_descriptor (port, ARDOUR.ParameterDescriptor ())
		if d[2].label == "Key" then found = { n, d[2].upper } end
	end
end
if not found then fail ("no parameter Key") end
if not ARDOUR.LuaAPI.set_processor_param (proc, found[1], found[2]) then fail ("cannot set Key") end

Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
for _ = 1, 3000 do
	if Session:transport_sample () >= 5 * 24000 then break end
	ARDOUR.LuaAPI.usleep (10000)
end
Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
if Session:transport_sample () < 5 * 24000 then fail ("the transport did not roll") end

-- Peaks of 480 frames, 50 a period: the first period settles; then each
-- burst (chunks 0..12) must sound after 20 ms, and the gap after it must
-- be silent (below -180 dB) from 225 ms past its end.
local peaks = probe:to_insert ():plugin (0):to_luaproc ():shmem ():to_float (0):array ()
local loud, silent = 1, 0
for period = 1, 4 do
	for chunk = period * 50 + 2, period * 50 + 11 do loud = math.min (loud, peaks[chunk + 1]) end
	for chunk = period * 50 + 35, period * 50 + 49 do silent = math.max (silent, peaks[chunk + 1]) end
end
print (string.format ("quietest peak in the bursts %g, loudest peak between them %g", loud, silent))
if loud < 0.05 then fail ("the key's bursts did not open the gates") end
if silent > 1e-9 then fail ("the gates were open while the key was silent") end
print ("OK: " .. plugin .. " keyed from another track")
