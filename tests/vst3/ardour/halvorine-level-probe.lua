ardour {
	["type"]    = "dsp",
	name        = "Halvorine Level Probe",
	category    = "Utility",
	license     = "MIT",
	author      = "Pellucid",
	description = [[The key test's probe: passes its input through and keeps, while the transport rolls, the peak of every 480 frames of the transport's first 480000 in shared memory.]]
}

local kChunk, kChunks = 480, 1000

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_init (rate)
	self:shmem ():allocate (kChunks)
	self:shmem ():clear ()
end

function dsp_run (ins, outs, n_samples)
	for c = 1, 2 do
		if not ins[c]:sameinstance (outs[c]) then ARDOUR.DSP.copy_vector (outs[c], ins[c], n_samples) end
	end
	if not Session:transport_rolling () then return end
	local pos = Session:transport_sample ()
	local peaks = self:shmem ():to_float (0):array ()
	local l, r = outs[1]:array (), outs[2]:array ()
	for i = 1, n_samples do
		local chunk = (pos + i - 1) // kChunk
		if chunk < kChunks then
			local p = math.max (math.abs (l[i]), math.abs (r[i]))
			if p > peaks[chunk + 1] then peaks[chunk + 1] = p end
		end
	end
end
